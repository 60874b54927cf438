%{
// Grammar of both compiler passes. The first token the scanner returns says
// which pass runs: the preprocessor's statements or the definitions. The
// actions call into the compile's state; all checks live there.
#include "script/compiler_internal.h"

#include <cstring>

// Deep enough for any real script; a parse that needs more stops with
// "yacc stack overflow".
#define YYMAXDEPTH 50000
#define YYINITDEPTH 200
%}

%code requires {
#include "script/compiler_internal.h"
}

%code provides {
int tvslex(TVSSTYPE* yylval, void* yyscanner);
void tvserror(void* scanner, script::ScriptCompiler& sc, const char* message);
}

%define api.pure full
%define api.prefix {tvs}
%param {void* scanner}
%parse-param {script::ScriptCompiler& sc}

%union {
    int n;
    const char* s;
    script::NumberToken num;
    script::RealToken real;
    script::DefinitionContext* def;
    script::ScriptDefinition* obj;
}

%token START_PREPROCESS START_DEFINITIONS
%token PP_DEFINE PP_INCLUDE PP_IFDEF PP_IFNDEF PP_ELSE PP_ENDIF PP_OTHER PP_EOL
%token <s> PP_NAME PP_STRING PP_TEXT
%token <n> KIND KINDREF KEY_STRING KEY_IDENT KEY_BOOL KEY_INT KEY_REAL KEY_REF BOOLEAN
%token <num> INTEGER
%token <real> REAL
%token <s> STRING NAME
%token IN_TEAM DECLARE DEFINE USE FOR AND AS LIFE SECONDS MINUTES PARTICLES INFINITE NONE
%token BEGIN_BODY END_BODY INHERITS ABSTRACT

%type <n> kind opt_abstract
%type <s> opt_name opt_parent
%type <def> head
%type <obj> definition statement

%%

input
    : START_PREPROCESS pp_items
    | START_DEFINITIONS script
    ;

/* Pass 1 */

pp_items
    : %empty
    | pp_items pp_item
    ;

pp_item
    : PP_NAME                { sc.TextToken(PP_NAME, $1); }
    | PP_TEXT                { sc.TextToken(PP_TEXT, $1); }
    | PP_STRING              { sc.TextToken(PP_STRING, $1); }
    | directive_word pp_args PP_EOL  { sc.EndDirective(); }
    ;

directive_word
    : PP_DEFINE              { sc.BeginDirective(PP_DEFINE); }
    | PP_INCLUDE             { sc.BeginDirective(PP_INCLUDE); }
    | PP_IFDEF               { sc.BeginDirective(PP_IFDEF); }
    | PP_IFNDEF              { sc.BeginDirective(PP_IFNDEF); }
    | PP_ELSE                { sc.BeginDirective(PP_ELSE); }
    | PP_ENDIF               { sc.BeginDirective(PP_ENDIF); }
    | PP_OTHER               { sc.BeginDirective(PP_OTHER); }
    ;

pp_args
    : %empty
    | pp_args PP_NAME        { sc.DirectiveArgument(PP_NAME, $2); }
    | pp_args PP_STRING      { sc.DirectiveArgument(PP_STRING, $2); }
    | pp_args PP_TEXT        { sc.DirectiveArgument(PP_TEXT, $2); }
    ;

/* Pass 2 */

script
    : statements             { sc.FinishScript(); }
    ;

statements
    : %empty
    | statements statement   { sc.Statement($2); }
    ;

statement
    : DECLARE kind NAME      { sc.Declare($2, $3); $$ = nullptr; }
    | definition             { $$ = $1; }
    | error END_BODY         { $$ = nullptr; }
    ;

definition
    : defines head BEGIN_BODY items END_BODY  { $$ = sc.EndDefinition($2); }
    ;

/* Right-recursive, as written in the language: each "define" stays on the stack. */
defines
    : %empty
    | DEFINE defines
    ;

head
    : opt_abstract kind opt_name opt_parent   { $$ = sc.BeginDefinition($1 != 0, $2, $3, $4); }
    ;

opt_abstract
    : %empty                 { $$ = 0; }
    | ABSTRACT               { $$ = 1; }
    ;

kind
    : KIND                   { $$ = $1; }
    | KINDREF                { $$ = $1 / 1000; }
    ;

opt_name
    : %empty                 { $$ = nullptr; }
    | NAME                   { $$ = $1; }
    ;

opt_parent
    : %empty                 { $$ = nullptr; }
    | INHERITS NAME          { $$ = $2; }
    ;

items
    : %empty
    | items item
    ;

item
    : KEY_STRING STRING      { sc.AddStringItem($1, $2); }
    | KEY_STRING NONE        { sc.AddStringItem($1, nullptr); }
    | KEY_IDENT STRING       { sc.AddStringItem($1, $2); }
    | KEY_IDENT NONE         { sc.AddStringItem($1, nullptr); }
    | KEY_IDENT INTEGER      { sc.AddIntItem($1, $2); }
    | KEY_IDENT REAL         { sc.AddIntItemFromReal($1, $2); }
    | KEY_BOOL BOOLEAN       { sc.AddBoolItem($1, $2 != 0); }
    | KEY_INT INTEGER        { sc.AddIntItem($1, $2); }
    | KEY_INT REAL           { sc.AddIntItemFromReal($1, $2); }
    | KEY_REAL REAL          { sc.AddRealItem($1, $2.value, $2.ok); }
    | KEY_REAL INTEGER       { sc.AddRealItem($1, static_cast<double>($2.value), $2.ok); }
    | KEY_REF NAME           { sc.AddReferenceItem($1, $2); }
    | KEY_REF NONE           { sc.AddReferenceItem($1, nullptr); }
    | KINDREF NAME           { sc.AddReferenceItem($1 % 1000, $2); }
    | KINDREF NONE           { sc.AddReferenceItem($1 % 1000, nullptr); }
    | LIFE INTEGER SECONDS   { sc.AddLifeItem(script::LifeMode::kTimed, static_cast<double>($2.value), $2.ok, 1.0); }
    | LIFE REAL SECONDS      { sc.AddLifeItem(script::LifeMode::kTimed, $2.value, $2.ok, 1.0); }
    | LIFE INTEGER MINUTES   { sc.AddLifeItem(script::LifeMode::kTimed, static_cast<double>($2.value), $2.ok, 60.0); }
    | LIFE REAL MINUTES      { sc.AddLifeItem(script::LifeMode::kTimed, $2.value, $2.ok, 60.0); }
    | LIFE INTEGER PARTICLES { sc.AddLifeItem(script::LifeMode::kParticleCount, static_cast<double>($2.value), $2.ok, 0.0); }
    | LIFE INFINITE          { sc.AddLifeItem(script::LifeMode::kInfinite, 0.0, 1, 0.0); }
    | USE NAME               { sc.BeginUse($2); } team FOR targets  { sc.EndUse(); }
    ;

team
    : %empty                 { sc.UseTeam(script::NumberToken{0, 1}, false); }
    | IN_TEAM INTEGER        { sc.UseTeam($2, true); }
    ;

targets
    : target
    | targets AND target
    | targets target         { sc.MissingAnd(); }
    ;

target
    : STRING                 { sc.UseTarget($1, nullptr); }
    | STRING AS STRING       { sc.UseTarget($1, $3); }
    ;

%%

void tvserror(void*, script::ScriptCompiler& sc, const char* message)
{
    sc.SyntaxError(message);
}

namespace script {

int RunGeneratedParser(ScriptCompiler& sc, void* scanner)
{
    return tvsparse(scanner, sc);
}

} // namespace script
