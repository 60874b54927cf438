// Runtime records built from compiled definitions: the weapon and ammunition
// tables, role records with their character, light, projectile, emitter and
// destruction records, and the conversions that must not overflow.
#include "script/records.h"
#include "script_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace script {
namespace {

using test::Compile;

const std::string kParts =
    "light lamp (red 1 green 0.5 blue 0.25 specular red 0.1 specular green 0.2 specular blue 0.3 range 40)\n"
    "projectile bolt { damage 7 gravity yes blast damage 3 blast range 4 max range 50 sound 9 hit_light lamp }\n"
    "character walker { walking speed 1.5 turning speed 2 strength 3 aim 90 sight angle 45 sight range 10 "
    "hearing range 6 aggression 0.5 size 2 radius 3 height 4 status window u 512 status window v 256 }\n"
    "pgenerator fizz { type 12 rate 5 x 1 y 2 z 3 red 1 green 1 blue 1 alpha 0.5 particle TTL 2 life 7 particles }\n"
    "frag script burst { name \"burst\" replace yes }\n"
    "destructibility mess { type splatter }\n";

// A real far past every integer range, as the language writes it (no exponent).
const std::string kHuge = "1" + std::string(300, '0') + ".0";
const std::string kHugeTurning = "turning speed " + kHuge;

std::string RoleText(const std::string& name, const std::string& extra, const std::string& destruction = "none")
{
    return "role " + name + " { character walker light lamp projectile bolt identifier \"" + name +
           "\" alpha fogging no per vertex fogging yes destructibility " + destruction + " " + extra + " }\n";
}

std::string Ammo(const std::string& name, int weapon, int ammo, const std::string& extra = "")
{
    return "ammo " + name + " { name \"" + name + "\" file \"" + name + ".rif\" ammo type " + std::to_string(ammo) +
           " weapon type " + std::to_string(weapon) +
           " round time 0.5 reload time 2 life timer 30 magazine size 12 salvo size 3 sound 4 firing speed 8 " + extra +
           " }\n";
}

class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RecordTables::Global().Clear();
        auto services = std::make_unique<RecordServices>();
        services_ = services.get();
        RecordTables::Global().SetServices(std::move(services));
    }
    void TearDown() override
    {
        RecordTables::Global().Clear();
        RecordTables::Global().SetServices(nullptr);
    }
    // Compiles and builds; the compile must succeed.
    CompileResult Build(const std::string& text)
    {
        CompileResult r = Compile(text);
        for (const auto& m : r.messages)
            if (m.severity == Severity::kError)
                ADD_FAILURE() << m.line << " " << m.text;
        if (r.list)
            r.list->BuildAll();
        return r;
    }
    const Role* RoleNamed(const CompileResult& r, const std::string& identifier)
    {
        for (const auto& d : *r.list)
            if (d->Kind() == DefinitionKind::kRole) {
                const Role* role = MakeRoleRecord(*d);
                if (role && role->identifier == identifier)
                    return role;
            }
        return nullptr;
    }
    RecordServices* services_ = nullptr;
};

TEST_F(RecordsTest, RoleRecordCarriesItsPartRecords)
{
    const auto r = Build(kParts + RoleText("guard", "pgen fizz sever point \"arm,,leg\" ai 8 armour 5 "
                                                "destination selectable yes frag control yes"));
    const Role* role = RoleNamed(r, "guard");
    ASSERT_NE(role, nullptr);

    ASSERT_TRUE(role->light);
    EXPECT_FLOAT_EQ(role->light->green, 0.5f);
    EXPECT_FLOAT_EQ(role->light->specularBlue, 0.3f);
    EXPECT_FLOAT_EQ(role->light->range, 40);

    ASSERT_TRUE(role->projectile);
    EXPECT_TRUE(role->projectile->gravity);
    EXPECT_EQ(role->projectile->damage, 7);
    EXPECT_FLOAT_EQ(role->projectile->blastRangeSquared, 16);
    ASSERT_TRUE(role->projectile->hitLight);
    EXPECT_FLOAT_EQ(role->projectile->hitLight->red, 1);

    ASSERT_TRUE(role->character);
    const CharacterRecord& c = *role->character;
    EXPECT_EQ(c.walkingSpeed, 98304);
    EXPECT_EQ(c.turningSpeed, 8192);
    EXPECT_EQ(c.aim, 1024);
    EXPECT_EQ(c.sightAngle, 512);
    EXPECT_FLOAT_EQ(c.sightRangeSquared, 100);
    EXPECT_FLOAT_EQ(c.hearingRangeSquared, 36);
    EXPECT_FLOAT_EQ(c.radius, 6);
    EXPECT_FLOAT_EQ(c.height, 8);
    EXPECT_FLOAT_EQ(c.statusU, 0.5f);
    EXPECT_FLOAT_EQ(c.statusV, 0.25f);

    ASSERT_TRUE(role->emitter);
    EXPECT_EQ(role->emitter->type, 12);
    EXPECT_EQ(role->emitter->lifeMode, static_cast<int>(LifeMode::kParticleCount));
    EXPECT_EQ(role->emitter->lifeCount, 7);
    EXPECT_FLOAT_EQ(role->emitter->position.z, 3);
    EXPECT_EQ(role->emitter->timeToLive, 2000000000);

    EXPECT_EQ(role->severPoints, (std::vector<std::string>{"arm", "", "leg"}));
    EXPECT_EQ(role->aiType, 8);
    EXPECT_EQ(role->armour, 5);
    EXPECT_EQ(role->flags, kRolePerVertexFogging | kRoleDestinationSelectable | kRoleFragControl |
                               kRoleDestroyAfterCollection | kRoleStatusDisplay);
}

TEST_F(RecordsTest, FlagBitsFollowTheirKeys)
{
    struct Case {
        const char* keys;
        std::uint8_t flags;
    };
    const Case cases[] = {
        {"destroy after collection no status display no", 0},
        {"alpha fogging yes destroy after collection no status display no", kRoleAlphaFogging},  // per vertex dropped
        {"hit test ignore yes moves on lifts yes destroy after collection no status display no",
         kRoleHitTestIgnore | kRoleMovesOnLifts},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys));
        RecordTables::Global().Clear();
        const auto r = Build(kParts + "role base { character none light none projectile none identifier \"base\" "
                                      "alpha fogging no per vertex fogging yes destructibility none }\n"
                                      "role flagged : base { identifier \"flagged\" " + std::string(c.keys) + " }\n");
        const Role* role = RoleNamed(r, "flagged");
        ASSERT_NE(role, nullptr);
        EXPECT_EQ(role->flags, c.flags | (std::string(c.keys).find("alpha") == std::string::npos
                                               ? kRolePerVertexFogging : 0));
    }
}

TEST_F(RecordsTest, SeverPointOfNoneGivesOneEmptyName)
{
    const auto r = Build(kParts + RoleText("plain", ""));
    const Role* role = RoleNamed(r, "plain");
    ASSERT_NE(role, nullptr);
    EXPECT_EQ(role->severPoints, std::vector<std::string>{""});
}

TEST_F(RecordsTest, ConversionsAreClampedBeforeScaling)
{
    struct Case {
        std::string keys;
        std::function<void(const Role&)> check;
    };
    const Case cases[] = {
        {"walking speed 1000000000000.0", [](const Role& r) { EXPECT_EQ(r.character->walkingSpeed, INT_MAX); }},
        {kHugeTurning, [](const Role& r) { EXPECT_EQ(r.character->turningSpeed, INT_MAX); }},
        {"walking speed 0", [](const Role& r) { EXPECT_EQ(r.character->walkingSpeed, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys));
        RecordTables::Global().Clear();
        const auto r = Build(kParts + "character fast : walker { " + c.keys + " }\n" +
                             "role runner { character fast light none projectile none identifier \"runner\" "
                             "alpha fogging no per vertex fogging no destructibility none }\n");
        const Role* role = RoleNamed(r, "runner");
        ASSERT_TRUE(role && role->character);
        c.check(*role);
    }
}

TEST_F(RecordsTest, HugeParticleTimeToLiveDoesNotWrap)
{
    const auto r = Build(kParts + "pgenerator long : fizz { particle TTL " + kHuge + " }\n" +
                         RoleText("smoker", "pgen long"));
    const Role* role = RoleNamed(r, "smoker");
    ASSERT_TRUE(role && role->emitter);
    EXPECT_GT(role->emitter->timeToLive, 0);
}

TEST_F(RecordsTest, ScaleToIntBounds)
{
    struct Case {
        double value, scale;
        std::int32_t expected;
    };
    const Case cases[] = {
        {45, 4096.0 / 360.0, 512}, {-1e20, 65536, INT_MIN}, {1e20, 65536, INT_MAX}, {0.5, 3, 2}, {2.5, 1, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScaleToInt(c.value, c.scale), c.expected) << c.value << " x " << c.scale;
    EXPECT_EQ(ScaleToInt(std::nan(""), 2), 0);
}

TEST_F(RecordsTest, CharacterIsOwnedPerRoleAndRoleRecordIsShared)
{
    const auto r = Build(kParts + RoleText("one", "") + RoleText("two", "") + Ammo("pistol", 0, 0, "projectile one") +
                         Ammo("rifle", 1, 0, "projectile one"));
    const Role* one = RoleNamed(r, "one");
    const Role* two = RoleNamed(r, "two");
    ASSERT_TRUE(one && two && one->character && two->character);
    EXPECT_NE(&*one->character, &*two->character);
    const WeaponEntry* pistol = RecordTables::Global().Weapon(0, 0);
    const WeaponEntry* rifle = RecordTables::Global().Weapon(1, 0);
    ASSERT_TRUE(pistol && rifle);
    EXPECT_EQ(pistol->projectile, one);
    EXPECT_EQ(rifle->projectile, one);
}

TEST_F(RecordsTest, WeaponTableHoldsEachPairOnceAndRefusesOutsideIt)
{
    struct Case {
        int weapon, ammo;
        bool stored;
    };
    const Case cases[] = {
        {0, 0, true}, {15, 16, true}, {1, 0, true}, {0, 16, true}, {16, 0, false}, {0, 17, false}, {16, 17, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.weapon << " x " << c.ammo);
        RecordTables::Global().Clear();
        services_->warnings.clear();
        Build(Ammo("a", c.weapon, c.ammo));
        const WeaponEntry* e = RecordTables::Global().Weapon(c.weapon, c.ammo);
        EXPECT_EQ(e != nullptr, c.stored);
        EXPECT_EQ(services_->warnings.size(), c.stored ? 0u : 1u);
        // No other cell took the entry (pairs never alias).
        int filled = 0;
        for (int w = 0; w < kWeaponTypes; ++w)
            for (int a = 0; a < kAmmoTypes; ++a)
                filled += RecordTables::Global().Weapon(w, a) != nullptr;
        EXPECT_EQ(filled, c.stored ? 1 : 0);
    }
}

TEST_F(RecordsTest, FirstAmmoForAPairWinsLastAmmoInfoWins)
{
    Build(Ammo("first", 2, 3) + Ammo("second", 2, 3) + "ammo info i1 { ammo type 5 description 1 ammo name 2 "
                                                        "max per slot 3 }\n"
                                                        "ammo info i2 { ammo type 5 description 4 ammo name 5 "
                                                        "max per slot 6 }\n");
    const WeaponEntry* e = RecordTables::Global().Weapon(2, 3);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, "first");
    EXPECT_EQ(e->file, "first.rif");
    EXPECT_FLOAT_EQ(e->roundTime, 0.5f);
    EXPECT_EQ(e->magazineSize, 12);
    EXPECT_EQ(e->salvoSize, 3);
    const AmmoEntry* a = RecordTables::Global().Ammo(5);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->descriptionId, 4);
    EXPECT_EQ(a->maxPerSlot, 6);
}

TEST_F(RecordsTest, AmmoInfoOutsideTheAmmunitionTypesIsRefused)
{
    Build("ammo info last { ammo type 17 description 1 ammo name 2 max per slot 3 }\n");
    EXPECT_EQ(RecordTables::Global().Ammo(17), nullptr);
    ASSERT_EQ(services_->warnings.size(), 1u);
    EXPECT_NE(services_->warnings[0].find("17"), std::string::npos);
}

TEST_F(RecordsTest, RefusedAmmunitionNamesItsFileAndLine)
{
    struct Case {
        const char* what;
        std::string text;
        const char* where;
    } cases[] = {
        {"ammo past the weapon table", "// first line\n\n" + Ammo("far", 16, 0), "test.tvs(3): warning: "},
        {"ammo info past the types", "\nammo info last { ammo type 17 description 1 ammo name 2 max per slot 3 }\n",
         "test.tvs(2): warning: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordTables::Global().Clear();
        services_->warnings.clear();
        Build(c.text);
        ASSERT_EQ(services_->warnings.size(), 1u);
        EXPECT_EQ(services_->warnings[0].rfind(c.where, 0), 0u) << services_->warnings[0];
    }
}

TEST_F(RecordsTest, DestructionRecordsByKind)
{
    const auto r = Build(kParts + "declare frag data debris\n" +
                         RoleText("crate", "", "debris") + RoleText("plank", "") +
                         "frag data debris { role crate replace role plank remove \"lid\" scale 2 symmetric yes }\n" +
                         RoleText("jelly", "", "mess") + RoleText("bomb", "", "burst"));
    const Role* crate = RoleNamed(r, "crate");
    ASSERT_TRUE(crate && crate->destruction);
    // The ring role -> frag data -> role ends at the record being made.
    EXPECT_EQ(crate->destruction->kind, DestructionKind::kFragData);
    EXPECT_EQ(crate->destruction->role, crate);
    EXPECT_EQ(crate->destruction->replaceRole, RoleNamed(r, "plank"));
    EXPECT_EQ(crate->destruction->remove, std::optional<std::string>("lid"));
    EXPECT_EQ(crate->destruction->scale, 2);
    EXPECT_TRUE(crate->destruction->symmetric);

    const Role* jelly = RoleNamed(r, "jelly");
    ASSERT_TRUE(jelly && jelly->destruction);
    EXPECT_EQ(jelly->destruction->kind, DestructionKind::kDestructibility);
    EXPECT_EQ(jelly->destruction->type, 1);

    const Role* bomb = RoleNamed(r, "bomb");
    ASSERT_TRUE(bomb && bomb->destruction);
    EXPECT_EQ(bomb->destruction->kind, DestructionKind::kFragScript);
    EXPECT_EQ(bomb->destruction->name, "burst");
    EXPECT_TRUE(bomb->destruction->replace);
}

TEST_F(RecordsTest, ShapesAreRequestedByKind)
{
    Build("shape box { name \"Box\" file \"box.rif\" }\nhierarchy man { name \"Man\" file \"man.rif\" }\n" +
          kParts + RoleText("boxed", "shape box inventory shape man"));
    ASSERT_EQ(services_->shapeRequests.size(), 2u);
    EXPECT_FALSE(services_->shapeRequests[0].hierarchy);
    EXPECT_EQ(services_->shapeRequests[0].name, "Box");
    EXPECT_TRUE(services_->shapeRequests[1].hierarchy);
    EXPECT_EQ(services_->shapeRequests[1].file, "man.rif");
}

TEST_F(RecordsTest, OnlyTheFirstMapBuilds)
{
    const std::string keys = " file \"f\" bitmap none camera plane none max camera distance 10 }\n";
    const auto r = Build("map first { name \"a\"" + keys + "map second { name \"b\"" + keys);
    ASSERT_EQ(services_->mapBuilds.size(), 1u);
    EXPECT_EQ(std::string(services_->mapBuilds[0]->FieldText(0)), "a");
    ASSERT_EQ(services_->warnings.size(), 1u);
    EXPECT_NE(services_->warnings[0].find("'b'"), std::string::npos);
}

TEST_F(RecordsTest, IncompleteDefinitionsMakeNothing)
{
    Build("abstract ammo a { name \"a\" weapon type 1 }\nabstract role r { ai 1 }\n");
    EXPECT_EQ(RecordTables::Global().Weapon(1, 0), nullptr);
    EXPECT_EQ(RecordTables::Global().RoleCount(), 0u);
}

// Shapes with boxes, each carrying a label that its release writes to a log.
class BoxedServices : public RecordServices {
public:
    struct Look {
        Float3 minimum, maximum;
        float walkFactor = 0;
    };
    std::map<std::string, Look> looks;  // by object name; others have no box
    std::vector<std::string>* log = nullptr;

    ShapeRef CachedShape(const std::string& file, const std::string& name) override
    {
        RecordServices::CachedShape(file, name);
        return Make(name);
    }
    ShapeRef HierarchyShape(const std::string& file, const std::string& name, const std::optional<std::string>& a,
                            const std::optional<std::string>& b) override
    {
        RecordServices::HierarchyShape(file, name, a, b);
        return Make(name);
    }

    std::string FindString(std::int32_t id) override { return "text " + std::to_string(id); }

private:
    ShapeRef Make(const std::string& name)
    {
        ShapeRef r;
        std::vector<std::string>* sink = log;
        r.shape = std::shared_ptr<void>(new int(0), [sink, name](void* p) {
            delete static_cast<int*>(p);
            if (sink)
                sink->push_back("release " + name);
        });
        if (auto it = looks.find(name); it != looks.end()) {
            r.hasBox = true;
            r.minimum = it->second.minimum;
            r.maximum = it->second.maximum;
            r.walkFactor = it->second.walkFactor;
        }
        return r;
    }
};

class ModelRecordsTest : public RecordsTest {
protected:
    void SetUp() override
    {
        RecordsTest::SetUp();
        auto services = std::make_unique<BoxedServices>();
        boxed_ = services.get();
        services_ = boxed_;
        boxed_->log = &log_;
        RecordTables::Global().SetServices(std::move(services));
    }
    void TearDown() override
    {
        RecordTables::Global().SetRoleFiler(nullptr);
        RecordsTest::TearDown();
    }
    BoxedServices* boxed_ = nullptr;
    std::vector<std::string> log_;
};

TEST_F(ModelRecordsTest, CharacterMeasuresComeFromTheModelWhenNotGiven)
{
    boxed_->looks["Crate"] = {{-2, 0, -1}, {2, 3, 1}};             // 4 wide, 3 high, 2 deep
    boxed_->looks["Man"] = {{-0.5f, 0, -3}, {0.5f, 2, 3}, 1.5f};  // deeper than wide
    const std::string parts = kParts + "shape crate { name \"Crate\" file \"c.rif\" }\n"
                              "shape bare { name \"Bare\" file \"c.rif\" }\n"
                              "hierarchy man { name \"Man\" file \"m.rif\" }\n"
                              "character stub : walker { radius 0 height 0 size 1 }\n";
    struct Case {
        const char* what;
        std::string keys;
        float radius, height, halfExtent, modelHeight, walkFactor;
    } cases[] = {
        {"a shape's box", "shape crate character stub", 2, 3, 2, 3, 0},
        {"a hierarchy's box and walk factor", "shape man character stub", 3, 2, 3, 2, 1.5f},
        {"a model without a box measures 1", "shape bare character stub", 0.5f, 1, 0.5f, 1, 0},
        {"no model", "character stub", 0.5f, 1, 0.5f, 1, 0},
        {"given sizes stay, times size", "shape crate character walker", 6, 8, 2, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordTables::Global().Clear();
        const auto r = Build(parts + "role r { light none projectile none identifier \"r\" alpha fogging no "
                                     "per vertex fogging no destructibility none " +
                             c.keys + " }\n");
        const Role* role = RoleNamed(r, "r");
        ASSERT_TRUE(role && role->character);
        const CharacterRecord& ch = *role->character;
        EXPECT_FLOAT_EQ(ch.radius, c.radius);
        EXPECT_FLOAT_EQ(ch.height, c.height);
        EXPECT_FLOAT_EQ(ch.modelHalfExtent, c.halfExtent);
        EXPECT_FLOAT_EQ(ch.modelHeight, c.modelHeight);
        EXPECT_FLOAT_EQ(ch.walkFactor, c.walkFactor);
    }
}

TEST_F(ModelRecordsTest, InventoryLookIsMadeByAnyOfItsKeysAndTextsOnlyForNonZeroNumbers)
{
    const std::string parts = kParts + "hierarchy man { name \"Man\" file \"m.rif\" }\n";
    struct Case {
        const char* what;
        std::string keys;
        bool made, shaped;
        std::optional<std::string> description, pickupName;
    } cases[] = {
        {"none of the keys", "", false, false, std::nullopt, std::nullopt},
        {"a shape alone", "inventory shape man", true, true, std::nullopt, std::nullopt},
        {"description 0 with a shape", "inventory shape man description 0", true, true, std::nullopt, std::nullopt},
        {"texts alone", "description 5 pickup name 6", true, false, "text 5", "text 6"},
        {"a pickup name alone", "pickup name 7", true, false, std::nullopt, "text 7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordTables::Global().Clear();
        const auto r = Build(parts + RoleText("item", c.keys));
        const Role* role = RoleNamed(r, "item");
        ASSERT_NE(role, nullptr);
        ASSERT_EQ(role->inventory.has_value(), c.made);
        if (!c.made)
            continue;
        EXPECT_EQ(bool(role->inventory->shape), c.shaped);
        EXPECT_EQ(role->inventory->description, c.description);
        EXPECT_EQ(role->inventory->pickupName, c.pickupName);
    }
}

// Files roles and notes the level stop in the shared log.
class LoggingFiler : public RoleFiler {
public:
    explicit LoggingFiler(std::vector<std::string>& log) : log_(log) {}
    void File(Role& role) override
    {
        role.id = int32_t(filed.size());
        filed.push_back(&role);
    }
    void ForgetAll() override
    {
        log_.push_back("forget roles");
        filed.clear();
    }
    std::vector<Role*> filed;

private:
    std::vector<std::string>& log_;
};

TEST_F(ModelRecordsTest, LevelStopReleasesAmmunitionShapesThenRolesThenWeaponRows)
{
    LoggingFiler filer(log_);
    RecordTables::Global().SetRoleFiler(&filer);
    Build(kParts + "shape magazine { name \"Clip\" file \"a.rif\" }\nshape barrel { name \"Gun\" file \"g.rif\" }\n" +
          RoleText("bullet", "shape barrel") + Ammo("rounds", 2, 3, "projectile bullet") +
          "ammo info i { ammo type 3 shape magazine description 1 ammo name 2 max per slot 9 }\n");
    Role* made = Role::Create();
    ASSERT_EQ(filer.filed.size(), 2u) << "the definition's role and the made one";
    EXPECT_EQ(filer.filed.back(), made);
    EXPECT_EQ(made->id, 1);
    EXPECT_TRUE(log_.empty());

    RecordTables::Global().Clear();
    EXPECT_EQ(log_, (std::vector<std::string>{"release Clip", "forget roles", "release Gun"}));
    EXPECT_EQ(RecordTables::Global().Weapon(2, 3), nullptr);
    EXPECT_EQ(RecordTables::Global().Ammo(3), nullptr);
    EXPECT_EQ(RecordTables::Global().RoleCount(), 0u);
}

TEST(AmmoTables, FirstWeaponRecordWinsLastAmmunitionEntryWins)
{
    auto weapon = [](const char* name) {
        WeaponEntry e;
        e.name = name;
        return e;
    };
    AmmoTable weapons;
    struct Store {
        int weapon, ammo;
        const char* name;
        bool stored;
    } stores[] = {
        {2, 3, "first", true},  {2, 3, "second", false}, {2, 4, "other ammo", true}, {3, 3, "next row", true},
        {16, 0, "row 16", false}, {0, 17, "ammo 17", false}, {-1, 0, "negative", false},
        {2147483647, 0, "sentinel", false}, {0, 2147483647, "sentinel ammo", false},
    };
    for (const Store& st : stores)
        EXPECT_EQ(weapons.Store(st.weapon, st.ammo, weapon(st.name)), st.stored) << st.name;
    ASSERT_NE(weapons.Get(2, 3), nullptr);
    EXPECT_EQ(weapons.Get(2, 3)->name, "first");
    EXPECT_EQ(weapons.Get(2147483647, 3), nullptr);

    weapons.FreeRow(2);
    weapons.FreeRow(16);  // outside: nothing
    weapons.FreeRow(-1);
    EXPECT_EQ(weapons.Get(2, 3), nullptr);
    EXPECT_EQ(weapons.Get(2, 4), nullptr);
    ASSERT_NE(weapons.Get(3, 3), nullptr) << "other rows stay";
    EXPECT_TRUE(weapons.Store(2, 3, weapon("after free")));

    AmmoInfoTable info;
    int released = 0;
    auto entry = [&](int32_t nameId) {
        AmmoEntry e;
        e.nameId = nameId;
        e.shape.shape = std::shared_ptr<void>(new int(0), [&released](void* p) {
            delete static_cast<int*>(p);
            ++released;
        });
        return e;
    };
    EXPECT_TRUE(info.Store(5, entry(1)));
    EXPECT_TRUE(info.Store(5, entry(2)));
    EXPECT_EQ(released, 1) << "the replaced entry's shape";
    EXPECT_FALSE(info.Store(17, entry(3)));
    EXPECT_FALSE(info.Store(-1, entry(4)));
    ASSERT_NE(info.Get(5), nullptr);
    EXPECT_EQ(info.Get(5)->nameId, 2);
    info.ReleaseShapes();
    EXPECT_EQ(released, 4);
    ASSERT_NE(info.Get(5), nullptr) << "the texts stay until the entry goes";
    EXPECT_FALSE(info.Get(5)->shape);
    EXPECT_EQ(info.Get(5)->nameId, 2);
}

} // namespace
} // namespace script
