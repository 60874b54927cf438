// Definition objects and the name tables: values given once, inheritance,
// defaults, use clauses of maps and the life clause of particle generators.
#include "script_test_support.h"

#include "script/name_tables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace script {
namespace {

using test::Compile;
using test::Lines;
using ::testing::Contains;
using ::testing::Not;

const std::string kRole =
    "role r { character none light none projectile none identifier none alpha fogging no per vertex fogging no "
    "destructibility none }\n";
const std::string kMapKeys = "name \"m\" file \"f\" bitmap none camera plane none max camera distance 10";

std::vector<std::string> OnLine(const CompileResult& r, unsigned line)
{
    std::vector<std::string> out;
    for (const auto& m : r.messages)
        if (m.line == line)
            out.push_back(m.text);
    return out;
}

TEST(NameHashUpperTest, SumsUpperCasedCharacters)
{
    EXPECT_EQ(NameHashUpper(""), 0);
    EXPECT_EQ(NameHashUpper("ab"), 'A' + 'B');
    EXPECT_EQ(NameHashUpper("Ab"), NameHashUpper("aB"));
    EXPECT_EQ(NameHashUpper("z_1"), 'Z' + '_' + '1');
}

TEST(NameTableTest, CaseAndAnagramsShareABucketButStayApart)
{
    SymbolTable table;
    const struct {
        const char* name;
        DefinitionKind kind;
    } rows[] = {{"rifle", DefinitionKind::kShape}, {"Rifle", DefinitionKind::kLight}, {"lifer", DefinitionKind::kRole}};
    for (const auto& row : rows)
        table.Insert(row.name, CreateDefinition(row.kind));
    EXPECT_EQ(SymbolTable::Bucket("rifle"), SymbolTable::Bucket("Rifle"));
    EXPECT_EQ(SymbolTable::Bucket("rifle"), SymbolTable::Bucket("lifer"));
    for (const auto& row : rows) {
        const DefinitionRef* found = table.Find(row.name);
        ASSERT_TRUE(found && *found) << row.name;
        EXPECT_EQ(KindWord((*found)->Kind()), KindWord(row.kind)) << row.name;
    }
    EXPECT_EQ(table.Find("RIFLE"), nullptr);
    EXPECT_EQ(table.Count(), 3);
    table.Clear();
    EXPECT_EQ(table.Find("rifle"), nullptr);
    EXPECT_EQ(table.Count(), 0);
}

// A second entry of a name hides the first; removing the newest shows the one
// it hid, and names removed and added again keep every other name findable,
// through the table's growth.
TEST(NameTableTest, NewestEntryHidesOlderAndRemovalShowsItAgain)
{
    MacroTable table;
    auto body = [](const std::string& text) { return std::vector<std::string>{text}; };
    auto text = [&](std::string_view name) -> std::string {
        const auto* found = table.Find(name);
        return found ? found->at(0) : std::string("(none)");
    };
    EXPECT_EQ(text("A"), "(none)") << "an empty table";
    table.Remove("A");
    EXPECT_EQ(table.Count(), 0);
    table.Insert("A", body("first"));
    table.Insert("A", body("second"));
    EXPECT_EQ(text("A"), "second");
    EXPECT_EQ(table.Count(), 2);
    table.Remove("A");
    EXPECT_EQ(text("A"), "first");
    table.Remove("A");
    EXPECT_EQ(text("A"), "(none)");
    EXPECT_EQ(table.Count(), 0);

    // Many names, every third removed and every sixth added back.
    constexpr int kNames = 3000;
    for (int i = 0; i < kNames; ++i)
        table.Insert("name_" + std::to_string(i), body(std::to_string(i)));
    for (int i = 0; i < kNames; i += 3)
        table.Remove("name_" + std::to_string(i));
    for (int i = 0; i < kNames; i += 6)
        table.Insert("name_" + std::to_string(i), body("again " + std::to_string(i)));
    int wrong = 0;
    for (int i = 0; i < kNames; ++i) {
        const std::string want = i % 6 == 0 ? "again " + std::to_string(i)
                                 : i % 3 == 0 ? "(none)"
                                              : std::to_string(i);
        wrong += text("name_" + std::to_string(i)) != want;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(table.Count(), kNames - kNames / 3 + kNames / 6);
    EXPECT_EQ(text("NAME_1"), "(none)");
}

// Every key a character leaves out gets its default, each named once and in key
// order, from the first declared key to the last (107).
TEST(DefaultsTest, EveryOmittedKeyIsNamedOnceInKeyOrder)
{
    const auto r = Compile("abstract character c { strength 100 }\n");
    const std::vector<std::string> want = {
        "weapon", "secondary weapon", "description", "damage multiplier", "shot speed multiplier",
        "target cycle time", "weapon cycle time", "weapon cycle time2", "alarm delay", "gun yaw angle",
        "elevation angle", "alert radius", "can turn", "vision cone", "status window u", "status window v",
        "radius", "height", "size", "always cpu controlled", "customisation hierarchy", "shadow hierarchy",
        "generation limit", "alertable", "latch trigger",
    };
    std::vector<std::string> named;
    for (const auto& m : r.messages)
        if (m.text.rfind("default value assumed for '", 0) == 0)
            named.push_back(m.text.substr(27, m.text.size() - 28));
    EXPECT_EQ(named, want);
}

TEST(NameTableTest, ScriptSymbolsDifferingInCaseAreTwoObjects)
{
    const auto r = Compile("shape Box { name \"upper\" file \"f\" }\nshape box { name \"lower\" file \"f\" }\n");
    EXPECT_EQ(r.errors, 0);
    ASSERT_TRUE(r.list);
    ASSERT_EQ(r.list->Count(), 2u);
    EXPECT_STREQ((*r.list)[0].FieldText(0), "upper");
    EXPECT_STREQ((*r.list)[1].FieldText(0), "lower");
}

TEST(SetValueTest, SecondValueInOneBodyIsRefusedAndFirstKept)
{
    const auto r = Compile(kRole + "role twice : r { ai 7 ai 9 }\n");
    EXPECT_THAT(OnLine(r, 2), Contains("value for 'ai' is defined more than once"));
    ASSERT_TRUE(r.list);
    EXPECT_EQ((*r.list)[1].IntValue(67), 7);
}

TEST(SetValueTest, ChildMayGiveAgainWhatItsParentGave)
{
    const auto r = Compile("role base { character none light none projectile none identifier \"a\" alpha fogging no "
                           "per vertex fogging no destructibility none ai 3 }\nrole child : base { ai 5 identifier \"b\" }\n");
    EXPECT_EQ(r.errors, 0);
    ASSERT_TRUE(r.list);
    ASSERT_EQ(r.list->Count(), 2u);
    EXPECT_EQ((*r.list)[0].IntValue(67), 3);
    EXPECT_EQ((*r.list)[1].IntValue(67), 5);
    EXPECT_STREQ((*r.list)[1].FieldText(65), "b");
    EXPECT_STREQ((*r.list)[0].FieldText(65), "a");  // the copy is the child's own
}

// Bytes above 127 (texts in a regional code page) are ordinary characters of
// a string and of a comment; every byte value reaches the scanner safely.
TEST(SetValueTest, TextsKeepBytesAbove127)
{
    const std::string text = "caf\xe9 \x80\xff";
    const auto r = Compile("// \xa0\xff comment\nrole base { character none light none projectile none identifier \"" +
                           text + "\" alpha fogging no per vertex fogging no destructibility none ai 3 }\n");
    EXPECT_EQ(r.errors, 0) << ::testing::PrintToString(Lines(r.messages));
    ASSERT_TRUE(r.list);
    ASSERT_EQ(r.list->Count(), 1u);
    EXPECT_STREQ((*r.list)[0].FieldText(65), text.c_str());
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b);
    Compile(everyByte + "\n"); // errors, but no read outside the scanner's tables
}

TEST(SetValueTest, RangeErrorKeepsTheDefault)
{
    const auto r = Compile(kRole + "role high : r { ai 101 }\n");
    EXPECT_THAT(OnLine(r, 2), Contains("value for 'ai' cannot be more than 100"));
    ASSERT_TRUE(r.list);
    EXPECT_EQ((*r.list)[1].IntValue(67), 4);
    EXPECT_FALSE((*r.list)[1].GetSlot(67).given);
}

TEST(DefaultsTest, EveryInheritorWarnsForDefaultsItNeverGives)
{
    const auto r = Compile("projectile a { damage 1 gravity no max range 50 }\nprojectile b : a { }\n"
                           "projectile c : b { sound 9 }\n");
    for (unsigned line : {1u, 2u, 3u}) {
        EXPECT_THAT(OnLine(r, line), Contains("default value assumed for 'blast damage'")) << line;
        EXPECT_THAT(OnLine(r, line), Not(Contains("default value assumed for 'max range'"))) << line;
    }
    EXPECT_THAT(OnLine(r, 2), Contains("default value assumed for 'sound'"));
    EXPECT_THAT(OnLine(r, 3), Not(Contains("default value assumed for 'sound'")));
    ASSERT_TRUE(r.list);
    EXPECT_DOUBLE_EQ((*r.list)[2].RealValue(40), 50.0);
}

TEST(DefaultsTest, SwitchSizeHasNoKeyWordAndStaysAtItsDefault)
{
    const auto r = Compile(kRole);
    ASSERT_TRUE(r.list);
    EXPECT_EQ((*r.list)[0].IntValue(103), 100);
    EXPECT_THAT(Lines(r.messages), Contains("w 1 default value assumed for 'switch size'"));
}

TEST(DefaultsTest, DefaultOutsideTheRangeIsKeptButCannotBeWritten)
{
    const auto kept = Compile("map m { " + kMapKeys + " }\n");
    ASSERT_TRUE(kept.list);
    EXPECT_EQ((*kept.list)[0].IntValue(104), 200);
    const auto written = Compile("map m { " + kMapKeys + " max vertices per section 200 }\n");
    EXPECT_THAT(OnLine(written, 1), Contains("value for 'max vertices per section' cannot be less than 700"));
}

TEST(MapUseTest, AssignmentsInOrderWithTeamsAndVariables)
{
    const auto r = Compile(kRole + "map m { " + kMapKeys + "\nuse r in team 2 for \"door\" as \"DOOR\" and \"lift\" }\n");
    ASSERT_TRUE(r.list);
    const auto* map = dynamic_cast<const MapDefinition*>(&(*r.list)[1]);
    ASSERT_NE(map, nullptr);
    const auto all = map->Assignments();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->object, "door");
    EXPECT_EQ(all[0]->variable, std::optional<std::string>("DOOR"));
    EXPECT_EQ(all[0]->team, 2);
    EXPECT_EQ(all[0]->role.get(), &(*r.list)[0]);
    EXPECT_EQ(all[1]->object, "lift");
    EXPECT_EQ(all[1]->variable, std::nullopt);
}

TEST(MapUseTest, ChildReplacesInheritedNamesButNotItsOwn)
{
    const auto r = Compile(kRole + "role r2 : r { ai 2 }\n"
                           "map parent { " + kMapKeys + " use r in team 0 for \"Door\" as \"D\" }\n"
                           "map child : parent { use r2 in team 1 for \"DOOR\" as \"D2\"\n"
                           "use r in team 1 for \"door\" as \"D3\" }\n");
    EXPECT_THAT(OnLine(r, 5), Contains("object 'door' has already been used"));
    EXPECT_EQ(r.errors, 1);
    ASSERT_TRUE(r.list);
    const auto* child = dynamic_cast<const MapDefinition*>(&(*r.list)[3]);
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(child->Assignments().size(), 1u);
    const ObjectAssignment* a = child->FindAssignment("door");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->variable, std::optional<std::string>("D2"));
    EXPECT_EQ(a->role.get(), &(*r.list)[1]);
    EXPECT_FALSE(a->inherited);
    // The parent keeps its own placement.
    const auto* parent = dynamic_cast<const MapDefinition*>(&(*r.list)[2]);
    ASSERT_NE(parent, nullptr);
    const ObjectAssignment* own = parent->FindAssignment("DOOR");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->variable, std::optional<std::string>("D"));
}

TEST(MapUseTest, IncompleteRoleMakesTheMapIncomplete)
{
    const auto r = Compile("declare role later\nmap m { " + kMapKeys + " use later in team 0 for \"a\" as \"A\" }\n");
    EXPECT_THAT(OnLine(r, 2), Contains("incomplete object definition found"));
}

TEST(MapUseTest, UseClauseOutsideAMapIsRefused)
{
    const auto r = Compile(kRole + "shape s { name \"s\" file \"f\" use r in team 0 for \"a\" as \"A\" }\n");
    EXPECT_THAT(OnLine(r, 2), Contains("invalid data type"));
}

struct LifeRow {
    const char* clause;
    LifeMode mode;
    std::int64_t count;
};

TEST(LifeClauseTest, ModesAndCounts)
{
    const LifeRow rows[] = {
        {"life infinite", LifeMode::kInfinite, 0},
        {"life 2 seconds", LifeMode::kTimed, 2000},
        {"life 0.0015 seconds", LifeMode::kTimed, 1},  // rounds down
        {"life 1.5 minutes", LifeMode::kTimed, 90000},
        {"life 40 particles", LifeMode::kParticleCount, 40},
    };
    CompileOptions options;
    options.ticksPerSecond = 1000;
    for (const LifeRow& row : rows) {
        const auto r = test::Compile(std::string("pgenerator g { type 1 rate 1 x 0 y 0 z 0 red 1 green 1 blue 1 alpha 1 ") +
                                         row.clause + " }\n",
                                     kLevelScriptMode, options);
        ASSERT_TRUE(r.list) << row.clause;
        ASSERT_EQ(r.list->Count(), 1u) << row.clause;
        const auto* g = dynamic_cast<const ParticleGeneratorDefinition*>(&(*r.list)[0]);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->Life().mode, row.mode) << row.clause;
        EXPECT_EQ(g->Life().count, row.count) << row.clause;
    }
}

TEST(LifeClauseTest, RequiredOnceAndInherited)
{
    const std::string keys = "type 1 rate 1 x 0 y 0 z 0 red 1 green 1 blue 1 alpha 1";
    const auto r = Compile("pgenerator none_given { " + keys + " }\n"
                           "pgenerator twice { " + keys + " life infinite life 3 particles }\n"
                           "pgenerator child : twice { life 5 particles }\n");
    EXPECT_THAT(OnLine(r, 1), Contains("abstract definition not declared with 'abstract'"));
    EXPECT_THAT(OnLine(r, 2), Contains("value for life defined more than once"));
    ASSERT_TRUE(r.list);
    ASSERT_EQ(r.list->Count(), 2u);
    const auto* twice = dynamic_cast<const ParticleGeneratorDefinition*>(&(*r.list)[0]);
    const auto* child = dynamic_cast<const ParticleGeneratorDefinition*>(&(*r.list)[1]);
    ASSERT_NE(twice, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(twice->Life().mode, LifeMode::kInfinite);
    EXPECT_EQ(child->Life().count, 5);
    const auto inherited = Compile("pgenerator a { " + keys + " life 3 particles }\npgenerator b : a { }\n");
    ASSERT_TRUE(inherited.list);
    ASSERT_EQ(inherited.list->Count(), 2u);
    EXPECT_EQ(dynamic_cast<const ParticleGeneratorDefinition&>((*inherited.list)[1]).Life().count, 3);
}

} // namespace
} // namespace script

namespace script {
namespace {

TEST(LifetimeTest, DefinitionsAreFreedWithTheirList)
{
    const struct {
        const char* name;
        std::string source;
    } rows[] = {
        {"plain", kRole + "role r2 : r { ai 1 }\n"},
        {"declared only", "declare shape never\nrole x { character none light none projectile none identifier none "
                          "alpha fogging no per vertex fogging no destructibility none shape never }\n"},
        {"ring through declare",
         "declare frag data debris\nrole r { character none light none projectile none identifier none alpha fogging no "
         "per vertex fogging no destructibility debris }\nfrag data debris { role r scale 1 }\n"},
        {"map holding a role defined later", "declare role r\nmap m { " + kMapKeys + " use r in team 0 for \"a\" as \"A\" }\n" + kRole},
        {"abstract ring", "declare frag data d\nabstract role r { destructibility d }\nabstract frag data d { role r }\n"},
        {"failed compile", "declare frag data d\nrole r { destructibility d }\nfrag data d { role r scale 1 }\nlight (\n"},
    };
    for (const auto& row : rows) {
        const long before = ScriptDefinition::LiveCount();
        {
            CompileResult r = Compile(row.source);
            if (r.list) {
                std::vector<int> progress;
                r.list->BuildAll([&](int p) { progress.push_back(p); });
            }
        }
        EXPECT_EQ(ScriptDefinition::LiveCount(), before) << row.name;
    }
}

TEST(LifetimeTest, DefinitionsHeldOutsideTheListSurviveIt)
{
    const long before = ScriptDefinition::LiveCount();
    DefinitionRef kept;
    {
        const CompileResult r = Compile("declare frag data debris\nrole r { character none light none projectile none "
                                        "identifier \"x\" alpha fogging no per vertex fogging no destructibility debris }\n"
                                        "frag data debris { role r scale 1 }\n");
        ASSERT_TRUE(r.list && r.list->Count() == 2);
        kept = DefinitionRef::Share(&(*r.list)[0]);
    }
    // A holder such as a runtime record keeps the role and what it refers to.
    ASSERT_NE(kept->ReferenceValue(76), nullptr);
    EXPECT_EQ(kept->ReferenceValue(76)->ReferenceValue(80), kept.get());
    EXPECT_STREQ(kept->FieldText(65), "x");
    // When the last outside holder lets go, the ring goes too.
    kept.reset();
    EXPECT_EQ(ScriptDefinition::LiveCount(), before);
}

} // namespace
} // namespace script
