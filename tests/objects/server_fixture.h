// A server world for tests: a recording link (messages, spawns, command
// files), roles made in place, and the registry emptied before and after.
#pragma once

#include "objects/ai.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/server_classes.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "script/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

struct SentMessage {
    std::vector<uint8_t> bytes;
    bool guaranteed = false;

    uint32_t Word(size_t i) const
    {
        uint32_t w = 0;
        if (i * 4 + 4 <= bytes.size())
            std::memcpy(&w, bytes.data() + i * 4, 4);
        return w;
    }
    float Float(size_t i) const { return std::bit_cast<float>(Word(i)); }
    uint32_t Type() const { return Word(0); }
};

// A role whose look is a box shape from `minimum` to `maximum` (its use is
// the record's).
inline void GiveBoxShape(script::Role& role, const Vec3& minimum, const Vec3& maximum)
{
    auto* shape = new VeShape;
    SubMesh* mesh = shape->AddSubMesh(3, 3, gfx::kFvfVertex, false);
    const Vec3 corners[3] = {minimum, {maximum.x, minimum.y, minimum.z}, maximum};
    for (uint32_t i = 0; i < 3; ++i)
        std::memcpy(mesh->Vertex(i), &corners[i], sizeof(Vec3));
    mesh->indices = {0, 1, 2};
    shape->min_ = minimum;
    shape->max_ = maximum;
    role.shape.shape = std::shared_ptr<void>(shape, [](void* s) { static_cast<VeShape*>(s)->Release(); });
    role.shape.hasBox = true;
}

struct ModelPart {
    std::string name;
    Vec3 position;
};

// A role whose model is a tree over a box shape, with one-key sequences at
// the given indexes (a second key at `lastKey` ticks, their length, when it
// is not 0) and
// named child parts standing at their positions (the tree's use is the
// record's).
inline void GiveBoxModel(script::Role& role, std::initializer_list<int32_t> sequences,
                         std::initializer_list<ModelPart> parts = {}, int32_t lastKey = 0)
{
    GiveBoxShape(role, {-0.5f, -1.8f, -0.5f}, {0.5f, 0, 0.5f});
    role.shape.minimum = {-0.5f, -1.8f, -0.5f};  // the record keeps the tree's bounds
    role.shape.maximum = {0.5f, 0, 0.5f};
    auto* tree = new Hierarchy;
    tree->shapes_[0] = static_cast<VeShape*>(role.shape.shape.get());
    tree->shapes_[0]->AddRef();
    auto set = std::make_shared<SequenceSet>();
    for (int32_t index : sequences) {
        if (set->entries_.size() <= static_cast<size_t>(index))
            set->entries_.resize(static_cast<size_t>(index) + 1);
        auto sequence = std::make_unique<Sequence>();
        sequence->index_ = index;
        sequence->length_ = 1000;
        sequence->keys_.emplace_back();
        if (lastKey != 0) {
            sequence->keys_.emplace_back().time_ = lastKey;
            sequence->length_ = lastKey;
        }
        set->entries_[static_cast<size_t>(index)] = std::move(sequence);
    }
    tree->sequences_ = set;
    for (const ModelPart& part : parts) {
        auto* child = new Hierarchy;  // the tree owns its children
        child->name_ = part.name;
        child->sequences_ = std::make_shared<SequenceSet>();
        auto pose = std::make_unique<Sequence>();
        pose->keys_.emplace_back().position_ = part.position;
        child->sequences_->entries_.push_back(std::move(pose));
        tree->children_.PushBack(child);
    }
    role.shape.hierarchy = std::shared_ptr<void>(tree, [](void* h) { static_cast<Hierarchy*>(h)->Release(); });
}

// The model node carrying `name` (unnamed nodes never match).
inline ShapeInstance* NamedPart(ShapeInstance& node, const std::string& name)
{
    if (node.name_ == name)
        return &node;
    for (ShapeInstance* child : node.children_) {
        if (ShapeInstance* found = NamedPart(*child, name))
            return found;
    }
    return nullptr;
}

// An item whose model's tree carries its shape on the node `part` (a gun
// held in the arm); gives back that shape.
inline VeShape* GiveTreeOnPart(script::Role& role, const char* part)
{
    GiveBoxShape(role, {0, 0, 0}, {0.1f, 0.1f, 0.6f});
    auto* shape = static_cast<VeShape*>(role.shape.shape.get());
    auto* tree = new Hierarchy;
    auto* node = new Hierarchy;
    node->name_ = part;
    node->shapes_[0] = shape;
    shape->AddRef();
    tree->children_.PushBack(node);
    role.shape.hierarchy = std::shared_ptr<void>(tree, [](void* h) { static_cast<Hierarchy*>(h)->Release(); });
    return shape;
}

class ServerWorld : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmptyTables();
        ServerLink link;
        link.send = [this](const void* m, uint32_t size, bool guaranteed) {
            const auto* b = static_cast<const uint8_t*>(m);
            sent.push_back({std::vector<uint8_t>(b, b + size), guaranteed});
            return true;
        };
        link.spawn = [this](int32_t side, script::Role* role, const Vec3& p, const Quaternion& q) -> uint32_t {
            GameObject* made = Make(role, side, p);
            made->SetOrientation(q);
            spawned.push_back(made->GetId());
            return made->GetId();
        };
        link.broadcastCommandFile = [this](std::string_view name) {
            commandFiles.emplace_back(name);
            return true;
        };
        link.ticksPerSecond = [] { return uint64_t{1000000}; };
        link.now = [this] { return now; };
        ServerLink::Install(std::move(link));
    }

    void TearDown() override
    {
        EmptyTables();
        ServerLink::Install({});
    }

    static void EmptyTables()
    {
        ObjectTrackers::Clear();
        RemoteDeviceTable::Clear();
        AiPlayerSlots::Clear();
        AiPass::Reset();
        ObjectRegistry::Global().ReleaseAll();
        SideLists::Global().Clear();
        ObjectRegistry::Global().ResetIds();
        ServerCounters::ResetEventNumber();
        TeamTable::Clear();
        // A session started earlier in the program leaves its actor classes
        // registered; the fixture's roles make plain objects.
        ServerClasses::Set(0, nullptr);
        ServerClasses::SetCharacterMaker(nullptr);
    }

    // A role owned by the fixture (roles outlive their objects).
    script::Role& NewRole(int32_t strength = 100, int32_t armour = 0)
    {
        script::Role& r = roles.emplace_back();
        r.id = static_cast<int32_t>(roles.size()) - 1;
        r.armour = armour;
        r.character.emplace();
        r.character->strength = strength;
        r.character->weapon = 2147483647;
        return r;
    }

    GameObject* Make(script::Role* role, int32_t side, const Vec3& at, uint32_t id = 0)
    {
        return new GameObject(side, role, at, Quaternion::Identity(), 0,
                              id ? id : ObjectRegistry::Global().TakeNextId());
    }

    std::vector<SentMessage> Sent(uint32_t type) const
    {
        std::vector<SentMessage> out;
        for (const SentMessage& m : sent)
            if (m.Type() == type)
                out.push_back(m);
        return out;
    }

    std::deque<script::Role> roles;  // stable addresses
    std::vector<SentMessage> sent;
    std::vector<uint32_t> spawned;
    std::vector<std::string> commandFiles;
    uint64_t now = 0;
};
