// What the shell calls of the console: the text console, the script queue,
// the demo commands and the developer switches.
#pragma once

#include "console/command_script.h"
#include "console/demo_commands.h"
#include "console/developer_commands.h"
#include "console/text_console.h"
