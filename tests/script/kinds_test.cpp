// Every kind's keys: each accepted with its value form, ranges with their
// messages, defaults, required keys, references (none, unsuitable kinds,
// declared-only and abstract targets) and inheritance across kinds.
#include "script_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include <cfloat>
#include <climits>
#include <cstdio>

namespace script {
namespace {

using K = DefinitionKind;
using test::Compile;
using test::Lines;
using ::testing::Contains;
using ::testing::Not;

constexpr double kAny = DBL_MAX;
constexpr double kIntTop = INT_MAX;
constexpr double kIntBottom = INT_MIN;

struct Key {
    const char* word;     // key word as written in a script
    int key;              // slot number
    const char* display;  // name in messages
    char type;            // b(ool) i(nt) r(eal) s(tring) f (reference)
    double min, max;
    bool required;
    double def;           // default of numbers and booleans
    const char* sample;   // a value the key accepts
    bool noneOk = false;
    std::vector<K> accepts = {};
};

Key B(const char* w, int k, bool req, double def = 0) { return {w, k, w, 'b', 0, 0, req, def, "yes"}; }
Key I(const char* w, int k, double min, double max, bool req, double def, const char* sample, const char* display = nullptr)
{
    return {w, k, display ? display : w, 'i', min, max, req, def, sample};
}
Key R(const char* w, int k, double min, double max, bool req, double def, const char* sample, const char* display = nullptr)
{
    return {w, k, display ? display : w, 'r', min, max, req, def, sample};
}
Key S(const char* w, int k, bool noneOk, bool req, const char* display = nullptr)
{
    return {w, k, display ? display : w, 's', 0, 0, req, 0, "\"text\"", noneOk};
}
Key F(const char* w, int k, bool noneOk, bool req, std::vector<K> accepts, const char* display = nullptr)
{
    return {w, k, display ? display : w, 'f', 0, 0, req, 0, nullptr, noneOk, std::move(accepts)};
}

struct Kind {
    K kind;
    const char* word;
    std::vector<Key> keys;
    std::string required;  // a body giving every required key
};

// One defined object of each kind, named after its kind, for references.
const std::string kPrelude =
    "shape s_ref { name \"s\" file \"f\" }\n"
    "hierarchy h_ref { name \"h\" file \"f\" }\n"
    "light l_ref (red 1 green 1 blue 1 specular red 0 specular green 0 specular blue 0 range 1)\n"
    "pgenerator pg_ref { type 1 rate 1 x 0 y 0 z 0 red 1 green 1 blue 1 alpha 1 life infinite }\n"
    "projectile p_ref { damage 1 gravity no }\n"
    "character c_ref { walking speed 1 turning speed 1 strength 1 aim 1 sight angle 1 sight range 1 hearing range 1 "
    "aggression 0 }\n"
    "destructibility d_ref { type explode }\n"
    "frag script fs_ref { name \"fs\" }\n"
    "role r_ref { character c_ref light l_ref projectile p_ref identifier \"r\" alpha fogging no per vertex fogging no "
    "destructibility d_ref }\n"
    "frag data fd_ref { role r_ref scale 1 }\n"
    "ammo a_ref { name \"a\" file \"f\" ammo type 1 weapon type 1 round time 1 reload time 1 life timer 1 magazine size 1 "
    "firing speed 1 }\n"
    "ammo info ai_ref { ammo type 1 description 1 ammo name 1 max per slot 1 }\n"
    "camera track ct_ref { name \"c\" file \"f\" }\n"
    "map m_ref { name \"m\" file \"f\" bitmap none camera plane none max camera distance 10 }\n";
constexpr std::size_t kPreludeObjects = 14;

const char* RefName(K k)
{
    switch (k) {
    case K::kShape: return "s_ref";
    case K::kHierarchy: return "h_ref";
    case K::kLight: return "l_ref";
    case K::kPGenerator: return "pg_ref";
    case K::kProjectile: return "p_ref";
    case K::kCharacter: return "c_ref";
    case K::kDestructibility: return "d_ref";
    case K::kFragScript: return "fs_ref";
    case K::kRole: return "r_ref";
    case K::kFragData: return "fd_ref";
    case K::kAmmo: return "a_ref";
    case K::kAmmoInfo: return "ai_ref";
    case K::kCameraTrack: return "ct_ref";
    case K::kMap: return "m_ref";
    case K::kDirectory: return nullptr;
    }
    return nullptr;
}

const std::vector<Kind>& Kinds()
{
    static const std::vector<Kind> kinds = {
        {K::kDirectory, "directory",
         {S("name", 0, false, true), S("file", 1, false, true, "directory"), S("status window", 1, false, true, "directory")},
         "name \"rifs\" file \"rifs\""},
        {K::kShape, "shape", {S("name", 0, false, true), S("file", 1, false, true)}, "name \"n\" file \"f\""},
        {K::kHierarchy, "hierarchy",
         {S("name", 0, false, true), S("file", 1, false, true), S("hotspot", 3, true, false),
          S("alternate hotspot", 4, true, false)},
         "name \"n\" file \"f\""},
        {K::kCameraTrack, "camera track", {S("name", 0, false, true), S("file", 1, false, true)}, "name \"n\" file \"f\""},
        {K::kFragScript, "frag script", {S("name", 0, false, true), B("replace", 88, false, 0)}, "name \"n\""},
        {K::kDestructibility, "destructibility", {I("type", 59, 0, 1, true, 0, "splatter")}, "type explode"},
        {K::kLight, "light",
         {R("red", 28, 0, kAny, true, 0, "0.5"), R("green", 29, 0, kAny, true, 0, "0.5"),
          R("blue", 30, 0, kAny, true, 0, "0.5"), R("specular red", 32, 0, kAny, true, 0, "0.5"),
          R("specular green", 33, 0, kAny, true, 0, "0.5"), R("specular blue", 34, 0, kAny, true, 0, "0.5"),
          R("range", 35, 0, kAny, true, 0, "12")},
         "red 1 green 1 blue 1 specular red 0 specular green 0 specular blue 0 range 1"},
        {K::kProjectile, "projectile",
         {I("damage", 37, kIntBottom, kIntTop, true, 0, "-5"), I("blast damage", 39, 0, kIntTop, false, 0, "7"),
          I("blast", 39, 0, kIntTop, false, 0, "7", "blast damage"), R("blast range", 35, 0, kAny, false, 0, "2.5"),
          R("range", 35, 0, kAny, false, 0, "2.5", "blast range"), R("max range", 40, 0, kAny, false, 196, "50"),
          B("gravity", 46, true), F("hit_light", 26, true, false, {K::kLight}),
          I("sound", 27, 0, 256, false, 3, "256")},
         "damage 1 gravity no"},
        {K::kPGenerator, "pgenerator",
         {I("type", 59, 0, 12, true, 0, "sparks"), R("rate", 61, 0, kAny, true, 0, "20"),
          R("x", 62, -kAny, kAny, true, 0, "-1.5"), R("y", 63, -kAny, kAny, true, 0, "-1.5"),
          R("z", 64, -kAny, kAny, true, 0, "-1.5"), R("red", 28, 0, kAny, true, 0, "0.5"),
          R("green", 29, 0, kAny, true, 0, "0.5"), R("blue", 30, 0, kAny, true, 0, "0.5"),
          R("alpha", 31, 0, 1, true, 0, "1"), R("start scale", 84, 0, kAny, false, 1, "2"),
          R("end scale", 85, 0, kAny, false, 1, "2"), R("particle TTL", 87, 0, kAny, false, 0, "2"),
          R("spin", 86, -kAny, kAny, false, 0, "-0.5")},
         "type 1 rate 1 x 0 y 0 z 0 red 1 green 1 blue 1 alpha 1 life infinite"},
        {K::kFragData, "frag data",
         {F("role", 80, false, true, {K::kRole}), F("replace role", 81, true, false, {K::kRole}),
          S("remove", 82, true, false), I("scale", 83, 1, kIntTop, true, 0, "3"), B("replace", 88, false, 1),
          B("symmetric", 89, false, 0), I("blast damage", 39, 0, kIntTop, false, 0, "7"),
          I("blast", 39, 0, kIntTop, false, 0, "7", "blast damage"), R("blast range", 35, 0, kAny, false, 0, "2.5"),
          R("range", 35, 0, kAny, false, 0, "2.5", "blast range")},
         "role r_ref scale 1"},
        {K::kAmmo, "ammo",
         {S("name", 0, false, true), S("file", 1, false, true), I("ammo type", 18, 0, 17, true, 0, "17"),
          I("weapon type", 19, 0, 16, true, 0, "none needed"), I("weapon", 19, 0, 16, true, 0, "laser", "weapon type"),
          R("round time", 15, 0, kAny, true, 0, "0.25"), R("reload time", 16, 0, kAny, true, 0, "0.25"),
          I("life timer", 17, 0, kIntTop, true, 0, "9"), I("magazine size", 13, 0, kIntTop, true, 0, "30"),
          I("salvo size", 14, 0, kIntTop, false, 0, "2"), I("sound", 27, 0, 256, false, 3, "laser sound"),
          F("projectile", 10, true, false, {K::kRole}), R("firing speed", 41, 0, kAny, true, 0, "60")},
         "name \"n\" file \"f\" ammo type 1 weapon type 1 round time 1 reload time 1 life timer 1 magazine size 1 "
         "firing speed 1"},
        {K::kAmmoInfo, "ammo info",
         {I("ammo type", 18, 0, 17, true, 0, "napalm"), F("shape", 5, true, false, {K::kShape, K::kHierarchy}),
          I("description", 21, 0, kIntTop, true, 0, "laser pickup"), I("ammo name", 23, 0, kIntTop, true, 0, "5"),
          I("max per slot", 24, 0, kIntTop, true, 0, "90")},
         "ammo type 1 description 1 ammo name 1 max per slot 1"},
        {K::kCharacter, "character",
         {R("walking speed", 11, 0, kAny, true, 0, "2.5"), R("turning speed", 12, 0, kAny, true, 0, "2.5"),
          I("strength", 36, 1, kIntTop, true, 0, "100"), R("aim", 47, 0, kAny, true, 0, "0.5"),
          R("sight angle", 48, 0, 89, true, 0, "89"), R("sight range", 51, 0, kAny, true, 0, "40"),
          R("hearing range", 52, 0, kAny, true, 0, "40"), R("alert radius", 53, 0, kAny, false, 30, "10"),
          R("aggression", 54, 0, 1, true, 0, "0.5"), R("gun yaw angle", 49, 0, 180, false, 60, "180"),
          R("elevation angle", 50, 0, 180, false, 80, "10"), R("radius", 90, 0, kAny, false, 0, "1.5"),
          R("height", 91, 0, kAny, false, 0, "1.5"), R("size", 92, 0, kAny, false, 1, "1.5"),
          R("damage multiplier", 38, 0, kAny, false, 1, "1.5"),
          R("firing speed", 41, 0, kAny, false, 1, "1.5", "shot speed multiplier"),
          R("target cycle time", 42, 0, kAny, false, 3, "1.5"), R("weapon cycle time", 43, 0, kAny, false, 0, "1.5"),
          R("weapon cycle time2", 44, 0, kAny, false, 0, "1.5"), R("alarm delay", 45, 0, kAny, false, 0, "1.5"),
          B("can turn", 55, false, 1), B("vision cone", 56, false, 1), B("alertable", 106, false, 1),
          B("always cpu controlled", 98, false, 0), B("latch trigger", 107, false, 0),
          F("customisation hierarchy", 100, true, false, {K::kHierarchy}),
          F("shadow hierarchy", 101, true, false, {K::kHierarchy}),
          I("weapon", 19, 0, kIntTop, false, kIntTop, "maxim laser"),
          I("weapon type", 19, 0, kIntTop, false, kIntTop, "3", "weapon"),
          I("secondary weapon", 20, 0, kIntTop, false, kIntTop, "epulsar"),
          I("status window u", 57, 0, 1024, false, 0, "1024"), I("status window v", 58, 0, 1024, false, 0, "512"),
          I("description", 21, 0, kIntTop, false, 0, "vell description"),
          I("generation limit", 105, 1, 10, false, 5, "10")},
         "walking speed 1 turning speed 1 strength 1 aim 1 sight angle 1 sight range 1 hearing range 1 aggression 0"},
        {K::kRole, "role",
         {F("character", 9, true, true, {K::kCharacter}),
          F("shape", 5, true, false, {K::kShape, K::kHierarchy, K::kPGenerator}),
          F("inventory shape", 6, true, false, {K::kShape, K::kHierarchy}), F("pgen", 7, true, false, {K::kPGenerator}),
          F("light", 25, true, true, {K::kLight}), F("projectile", 10, true, true, {K::kProjectile}),
          S("identifier", 65, true, true), S("sever point", 66, true, false),
          S("produces", 66, true, false, "sever point"), I("description", 21, 0, kIntTop, false, 0, "285"),
          I("pickup name", 22, 0, kIntTop, false, 0, "health pickup"), I("ai", 67, 0, 100, false, 4, "president"),
          I("armour", 77, 0, 100, false, 0, "100"), I("shields", 78, 0, kIntTop, false, 0, "50"),
          R("recharge rate", 79, -kAny, kAny, false, 0, "-2.5"), B("alpha fogging", 74, true),
          B("per vertex fogging", 75, true),
          F("destructibility", 76, true, true, {K::kDestructibility, K::kFragData, K::kFragScript}),
          B("destination selectable", 93, false, 0), B("frag control", 99, false, 0),
          B("moves on lifts", 95, false, 0), B("hit test ignore", 97, false, 0),
          B("destroy after collection", 94, false, 1), B("status display", 96, false, 1),
          I("limit", 102, 0, kIntTop, false, 0, "4")},
         "character c_ref light l_ref projectile p_ref identifier \"r\" alpha fogging no per vertex fogging no "
         "destructibility d_ref"},
        {K::kMap, "map",
         {S("name", 0, false, true), S("file", 1, false, true), S("bitmap", 2, true, true),
          S("camera plane", 68, true, true), R("max camera distance", 69, 10, 500, true, 0, "500"),
          S("max camera focus height", 70, true, false), S("min camera focus height", 71, true, false),
          S("shadow object rif", 72, true, false), S("shadow object name", 73, true, false),
          I("max vertices per section", 104, 700, 4096, false, 200, "700")},
         "name \"n\" file \"f\" bitmap none camera plane none max camera distance 10"},
    };
    return kinds;
}

// Drops a key's entry from the required body, whichever of its key words
// the body uses (longest first: "weapon type" before "weapon").
std::string Without(const Kind& kind, const Key& key)
{
    std::string body = " " + kind.required + " ";
    std::vector<std::string> words;
    for (const Key& k : kind.keys)
        if (k.key == key.key)
            words.push_back(std::string(" ") + k.word + " ");
    std::sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const std::string& word : words) {
        const std::size_t at = body.find(word);
        if (at == std::string::npos)
            continue;
        std::size_t end = at + word.size();
        if (body[end] == '"')
            end = body.find('"', end + 1) + 1;
        else
            end = body.find(' ', end);
        return body.substr(0, at) + body.substr(end);
    }
    return body;
}

struct Compiled {
    CompileResult result;
    const ScriptDefinition* object = nullptr;  // the definition under test when it was complete
    std::vector<std::string> own;              // messages on the definition's own line
};

Compiled CompileKind(const Kind& kind, const std::string& body, const std::string& extra = "")
{
    const bool directory = kind.kind == K::kDirectory;
    const std::string before = (directory ? "" : kPrelude) + extra;
    Compiled c{Compile(before + kind.word + " t { " + body + " }\n", directory ? kDirectoryListMode : kLevelScriptMode),
               nullptr,
               {}};
    const std::size_t objects = directory ? 0 : kPreludeObjects;
    if (c.result.list && c.result.list->Count() == objects + 1)
        c.object = &(*c.result.list)[objects];
    const unsigned line = static_cast<unsigned>(std::count(before.begin(), before.end(), '\n')) + 1;
    for (const auto& m : c.result.messages)
        if (m.line == line)
            c.own.push_back(m.text);
    return c;
}

std::string Number(char type, double v)
{
    char buffer[64];
    if (type == 'i')
        std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(v));
    else
        std::snprintf(buffer, sizeof buffer, "%f", v);
    return buffer;
}

void ExpectValue(const ScriptDefinition& d, const Key& key, const std::string& valueText)
{
    const Slot& s = d.GetSlot(key.key);
    switch (key.type) {
    case 'b': EXPECT_EQ(d.BoolValue(key.key), valueText == "yes"); break;
    case 'r': EXPECT_DOUBLE_EQ(d.RealValue(key.key), std::stod(valueText)); break;
    case 's': ASSERT_NE(d.FieldText(key.key), nullptr); EXPECT_STREQ(d.FieldText(key.key), "text"); break;
    case 'f': ASSERT_NE(d.ReferenceValue(key.key), nullptr); EXPECT_EQ(d.ReferenceValue(key.key)->Kind(), key.accepts[0]); break;
    case 'i':
        // Named constants are checked by their own test.
        if (valueText[0] == '-' || (valueText[0] >= '0' && valueText[0] <= '9')) {
            EXPECT_EQ(d.IntValue(key.key), std::stoi(valueText));
        }
        break;
    }
    EXPECT_TRUE(s.given);
    EXPECT_TRUE(s.setHere);
}

void PrintTo(const Kind& c, std::ostream* os) { *os << c.word; }

class KindTest : public ::testing::TestWithParam<Kind> {};

TEST_P(KindTest, RequiredBodyIsComplete)
{
    const Compiled c = CompileKind(GetParam(), GetParam().required);
    EXPECT_EQ(c.result.errors, 0) << ::testing::PrintToString(Lines(c.result.messages));
    EXPECT_NE(c.object, nullptr);
}

TEST_P(KindTest, EachKeyAcceptsItsValueForm)
{
    const Kind& kind = GetParam();
    for (const Key& key : kind.keys) {
        SCOPED_TRACE(key.word);
        const std::string value = key.type == 'f' ? RefName(key.accepts[0]) : key.sample;
        const Compiled c = CompileKind(kind, Without(kind, key) + " " + key.word + " " + value);
        EXPECT_EQ(c.result.errors, 0) << ::testing::PrintToString(Lines(c.result.messages));
        ASSERT_NE(c.object, nullptr);
        ExpectValue(*c.object, key, value);
        // Every accepted kind of a reference slot is taken.
        for (K accepted : key.accepts) {
            const Compiled other = CompileKind(kind, Without(kind, key) + " " + key.word + " " + RefName(accepted));
            ASSERT_NE(other.object, nullptr);
            EXPECT_EQ(other.object->ReferenceValue(key.key)->Kind(), accepted);
        }
    }
}

// The key words' slots carry their types; any key number the kind does not
// declare, and any number outside the keys, reads as an undeclared, empty slot.
TEST_P(KindTest, OnlyDeclaredKeysHaveSlots)
{
    const Kind& kind = GetParam();
    const DefinitionRef d = CreateDefinition(kind.kind);
    std::set<int> declared;
    for (const Key& key : kind.keys)
        declared.insert(key.key);
    int undeclared = 0;
    for (int k = -1; k <= kKeyCount; ++k) {
        const Slot& s = d->GetSlot(k);
        if (declared.count(k)) {
            EXPECT_NE(s.type, SlotType::kUndeclared) << k;
            continue;
        }
        if (k >= 0 && k < kKeyCount && s.type != SlotType::kUndeclared)
            continue; // a slot without a key word
        ++undeclared;
        EXPECT_FALSE(s.hasValue) << k;
        EXPECT_FALSE(s.reference) << k;
        EXPECT_EQ(d->FieldText(k), nullptr) << k;
    }
    EXPECT_GT(undeclared, kKeyCount / 2);
}

// The reference walk that cycle collection uses sees every reference a body
// gives, once each.
TEST_P(KindTest, ReferenceWalkSeesEveryGivenReference)
{
    const Kind& kind = GetParam();
    std::string body;
    std::vector<const Key*> references;
    for (const Key& key : kind.keys)
        if (key.type == 'f') {
            body += " " + std::string(key.word) + " " + RefName(key.accepts[0]);
            references.push_back(&key);
        }
    if (references.empty())
        return; // nothing to walk
    Kind rest = kind; // its required body without the reference keys
    for (const Key* key : references)
        rest.required = Without(rest, *key);
    const Compiled c = CompileKind(kind, rest.required + body);
    ASSERT_NE(c.object, nullptr) << ::testing::PrintToString(Lines(c.result.messages));
    std::multiset<const ScriptDefinition*> seen;
    c.object->ForEachReference([&](ScriptDefinition& target) { seen.insert(&target); });
    std::multiset<const ScriptDefinition*> given;
    for (const Key* key : references)
        given.insert(c.object->ReferenceValue(key->key));
    EXPECT_EQ(seen, given);
}

TEST_P(KindTest, OutOfRangeValuesAreRefused)
{
    const Kind& kind = GetParam();
    for (const Key& key : kind.keys) {
        if (key.type != 'i' && key.type != 'r')
            continue;
        SCOPED_TRACE(key.word);
        const bool integer = key.type == 'i';
        const double bottom = integer ? kIntBottom : -kAny;
        const double top = integer ? kIntTop : kAny;
        if (key.min > bottom) {
            const Compiled c = CompileKind(kind, Without(kind, key) + " " + key.word + " " + Number(key.type, key.min - 1));
            EXPECT_THAT(c.own, Contains("value for '" + std::string(key.display) + "' cannot be less than " +
                                        Number(key.type, key.min)));
            if (c.object) {
                EXPECT_FALSE(c.object->GetSlot(key.key).setHere);
            }
        }
        if (key.max < top) {
            const Compiled c = CompileKind(kind, Without(kind, key) + " " + key.word + " " + Number(key.type, key.max + 1));
            EXPECT_THAT(c.own, Contains("value for '" + std::string(key.display) + "' cannot be more than " +
                                        Number(key.type, key.max)));
        }
    }
}

TEST_P(KindTest, DefaultsAndRequiredKeys)
{
    const Kind& kind = GetParam();
    for (const Key& key : kind.keys) {
        SCOPED_TRACE(key.word);
        const Compiled c = CompileKind(kind, Without(kind, key));
        const std::string assumed = "default value assumed for '" + std::string(key.display) + "'";
        if (key.required) {
            EXPECT_EQ(c.object, nullptr);
            EXPECT_THAT(c.own, Contains("abstract definition not declared with 'abstract'"));
            EXPECT_THAT(c.own, Not(Contains(assumed)));
            continue;
        }
        ASSERT_NE(c.object, nullptr);
        EXPECT_THAT(c.own, Contains(assumed));
        const Slot& s = c.object->GetSlot(key.key);
        EXPECT_TRUE(s.hasValue);
        EXPECT_FALSE(s.given);
        switch (key.type) {
        case 'b': EXPECT_EQ(c.object->BoolValue(key.key), key.def != 0); break;
        case 'i': EXPECT_EQ(c.object->IntValue(key.key), static_cast<int>(key.def)); break;
        case 'r': EXPECT_DOUBLE_EQ(c.object->RealValue(key.key), key.def); break;
        case 's': EXPECT_EQ(c.object->FieldText(key.key), nullptr); break;
        case 'f': EXPECT_EQ(c.object->ReferenceValue(key.key), nullptr); break;
        }
    }
}

TEST_P(KindTest, NoneAndUnsuitableReferences)
{
    const Kind& kind = GetParam();
    for (const Key& key : kind.keys) {
        if (key.type != 'f' && key.type != 's')
            continue;
        SCOPED_TRACE(key.word);
        const Compiled none = CompileKind(kind, Without(kind, key) + " " + key.word + " none");
        const std::string refused = "value for '" + std::string(key.display) + "' cannot be none";
        if (key.noneOk) {
            ASSERT_NE(none.object, nullptr);
            EXPECT_TRUE(none.object->GetSlot(key.key).given);
        } else {
            EXPECT_THAT(none.own, Contains(refused));
        }
        if (key.type != 'f')
            continue;
        for (int k = 1; k < kKindCount; ++k) {
            const K other = static_cast<K>(k);
            if (std::find(key.accepts.begin(), key.accepts.end(), other) != key.accepts.end())
                continue;
            const Compiled c = CompileKind(kind, Without(kind, key) + " " + key.word + " " + RefName(other));
            EXPECT_THAT(c.own, Contains("value for '" + std::string(key.display) + "' is not a suitable type"))
                << KindWord(other);
        }
    }
}

TEST_P(KindTest, DeclaredOnlyAndAbstractTargets)
{
    const Kind& kind = GetParam();
    for (const Key& key : kind.keys) {
        if (key.type != 'f')
            continue;
        SCOPED_TRACE(key.word);
        const std::string target = KindWord(key.accepts[0]);
        // Declared only: accepted, but the referring definition is incomplete at the end.
        const Compiled declared =
            CompileKind(kind, Without(kind, key) + " " + key.word + " later", "declare " + target + " later\n");
        ASSERT_NE(declared.object, nullptr);
        EXPECT_THAT(Lines(declared.result.messages), Contains(::testing::HasSubstr("incomplete object definition found")));
        // Abstract (defined but incomplete): a warning, and incomplete at the end as well.
        const Compiled abstract =
            CompileKind(kind, Without(kind, key) + " " + key.word + " half", "abstract " + target + " half { }\n");
        EXPECT_THAT(Lines(abstract.result.messages), Contains(::testing::HasSubstr("symbol 'half' is abstract")));
        EXPECT_THAT(Lines(abstract.result.messages), Contains(::testing::HasSubstr("incomplete object definition found")));
    }
}

TEST_P(KindTest, InheritsOnlyFromItsOwnKind)
{
    const Kind& kind = GetParam();
    if (kind.kind == K::kDirectory) {
        const auto r = Compile("directory base { " + kind.required + " }\ndirectory t : base { }\n", kDirectoryListMode);
        EXPECT_EQ(r.errors, 0);
        ASSERT_TRUE(r.list);
        EXPECT_EQ(r.list->Count(), 2u);
        return;
    }
    const char* foreign = kind.kind == K::kShape ? "h_ref" : "s_ref";
    const Compiled refused = CompileKind(kind, kind.required, "");
    ASSERT_NE(refused.object, nullptr);
    const auto cross = Compile(kPrelude + kind.word + " t : " + foreign + " { " + kind.required + " }\n");
    EXPECT_THAT(Lines(cross.messages), Contains(::testing::HasSubstr("cannot inherit from a different type")));
    // The same kind: the child copies every value and is complete with an empty body.
    const auto same = Compile(kPrelude + kind.word + " base { " + kind.required + " }\n" + kind.word + " t : base { }\n");
    EXPECT_EQ(same.errors, 0);
    ASSERT_TRUE(same.list);
    ASSERT_EQ(same.list->Count(), kPreludeObjects + 2);
    const ScriptDefinition& child = (*same.list)[kPreludeObjects + 1];
    for (const Key& key : kind.keys)
        EXPECT_EQ(child.GetSlot(key.key).given, key.required) << key.word;
}

TEST_P(KindTest, KindOnlySuitsItsFileMode)
{
    const Kind& kind = GetParam();
    const bool directory = kind.kind == K::kDirectory;
    const auto r = Compile(std::string(kind.word) + " t { " + (directory ? kind.required : std::string()) + " }\n",
                           directory ? kLevelScriptMode : kDirectoryListMode);
    if (directory) {
        EXPECT_THAT(Lines(r.messages), Contains(::testing::HasSubstr("unsuitable script object type ignored")));
    } else if (r.list) {
        EXPECT_EQ(r.list->Count(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Script, KindTest, ::testing::ValuesIn(Kinds()),
                         [](const ::testing::TestParamInfo<Kind>& p) {
                             std::string name = p.param.word;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

// Named constants stand for their numbers wherever an integer goes.
TEST(NamedConstantTest, ConstantsEqualTheirNumbers)
{
    const struct {
        const char* word;
        int value;
    } rows[] = {{"big explosion", 6}, {"laser trail", 10}, {"sparks", 12}, {"none needed", 16}, {"enemy grenade launcher", 12},
                {"nanotech dismantler", 15}, {"decoy mine", 3}, {"audio cloak", 5}, {"grenade sound", 16},
                {"president", 17}, {"sight pickup plus description", 226}, {"nanotech dismantler pickup", 13027},
                {"junkpile empty pickup", 7086}, {"explode", 0}, {"splatter", 1}};
    for (const auto& row : rows) {
        const auto r = Compile(std::string("projectile p { gravity no damage ") + row.word + " }\n");
        ASSERT_TRUE(r.list) << row.word;
        ASSERT_EQ(r.list->Count(), 1u) << row.word;
        EXPECT_EQ((*r.list)[0].IntValue(37), row.value) << row.word;
    }
}

} // namespace
} // namespace script
