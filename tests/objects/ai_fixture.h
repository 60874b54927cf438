// A server world for the AI and the kinds: sides 0 (neutral) to 3 with 1
// the squad, an empty role table and the AI's own routines installed.
#pragma once

#include "objects/role_table.h"
#include "objects/think_routines.h"
#include "tests/objects/server_fixture.h"

class AiServerWorld : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        TeamTable::Build(4, 1, 0);
        RoleTable::Global().Clear();
        RoleTable::Global().ResetIds();
        Ai::InstallRoutines();
    }
    void TearDown() override
    {
        ServerWorld::TearDown();
        RoleTable::Global().Clear();
    }
};
