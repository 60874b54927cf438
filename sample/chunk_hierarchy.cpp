// Sample hierarchy model: a small robot of box parts with named nodes, two fire
// parts at the hands, animation sequences (frame flags, delta frames, sounds by
// index, upper and lower body; firing, the gun's pitch and the torso's turn
// for aiming, crouching and placing an item),
// shape sets and a shape-set collection, and the bitmap-name list of its textures;
// written through the chunk library as a compressed and a plain file under rifs/.
#include "sample/generator.h"

#include "chunk/bitmap_name_chunks.h"
#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/sequence_chunks.h"
#include "chunk/shape_chunks.h"
#include "chunk/shape_extra_chunks.h"
#include "chunk/sound_chunks.h"
#include "sample/shape_helpers.h"

#include <cmath>
#include <cstdio>

namespace {

using namespace trevok;
using sample::AddNode;
using sample::AddPart;
using sample::Box;

// The head blinks (a vertex animation squashing it), morphs into a dented head, and
// knows how it breaks apart.
void AddHeadExtras(ShapeChunk* head)
{
    ShapeAnimSequence blink;
    blink.number_ = 0;
    blink.name_ = "blink";
    blink.params_[0] = 2;
    for (int32_t squash : {0, 60, 0}) {
        ShapeAnimFrame frame;
        frame.name_ = squash ? "shut" : "open";
        for (const ShapePoint& p : head->Data().points_)
            frame.points_.push_back({p.x, p.y < 0 ? p.y + squash : p.y, p.z});
        frame.polygonNormals_ = head->Data().polygonNormals_;
        blink.frames_.push_back(frame);
    }
    new ShapeAnimSequenceChunk(head, blink);

    auto* morph = new ShapeMorphChunk(head);
    SubShapeChunk* dented = morph->AddSubShape("robot_head_dented.rif");
    ShapeData dent = dented->Data();
    dent.points_[7].x -= 40;
    dented->Update(dent);
    auto* frames = new ShapeMorphFramesChunk(morph);
    frames->AddFrame({nullptr, head, dented, nullptr, 500});

    auto* fragments = new ShapeFragmentsChunk(head);
    auto* data = new ShapeFragmentDataChunk(fragments);
    data->words_ = {4, 1, 0, 250};
    new ShapeFragmentTypeChunk(fragments, "robot_scrap");
}

struct Key {
    int32_t frameNumber;
    int32_t time; // 16.16 fraction of the sequence
    float turn;   // radians about y
    int32_t lift; // millimetres up
    uint32_t flags;
};

void AddSequence(SequenceListChunk* list, int32_t number, int32_t index, const char* name, int32_t milliseconds,
                 std::initializer_list<Key> keys)
{
    auto* seq = new SequenceChunk(list);
    new SequenceHeaderChunk(seq, number, index, name);
    for (const Key& k : keys) {
        const float rotation[4] = {0, std::sin(k.turn / 2), 0, std::cos(k.turn / 2)};
        const int32_t position[3] = {0, -k.lift, 0}; // y grows downward
        new SequenceFrameChunk(seq, rotation, position, k.time, k.frameNumber, k.flags);
    }
    if (milliseconds > 0)
        new SequenceTimeChunk(seq, milliseconds);
}

// A part no sequence moves stands where the one frame of its stand sequence
// puts it (the parts' own object positions place nothing).
void PlaceNode(HierarchyChunk* node, int32_t x, int32_t up, int32_t z)
{
    auto* seq = new SequenceChunk(new SequenceListChunk(node));
    new SequenceHeaderChunk(seq, 100, 0, "stand");
    const float rotation[4] = {0, 0, 0, 1};
    const int32_t position[3] = {x, -up, z}; // y grows downward
    new SequenceFrameChunk(seq, rotation, position, 0, 0, 0);
    new SequenceTimeChunk(seq, 1000);
}

SequenceChunk* LastSequence(SequenceListChunk* list)
{
    return dynamic_cast<SequenceChunk*>(list->LastChild());
}

constexpr uint32_t Sound(uint32_t index)
{
    return index << kFrameSoundShift;
}

void AddMoves(ParentChunk* node, const int32_t lo[3], const int32_t hi[3])
{
    auto* moves = new SequenceListChunk(node);
    AddSequence(moves, 100, 0, "stand", 1000, {{0, 0, 0, 0, 0}});
    AddSequence(moves, 101, 1, "walk", 1200,
                {{0, 0, 0, 0, 0x0001}, {1, 0x5555, 0.1f, 20, 0x0002 | Sound(1)}, {2, 0xAAAA, -0.1f, 20, Sound(1)}});
    new SequenceSpeedChunk(LastSequence(moves), 1500, 0, 0);
    LastSequence(moves)->SetFlags(kSequenceLowerBody);
    // Each shot: the upper body kicks back and the shot is heard.
    AddSequence(moves, 102, 2, "fire", 400,
                {{0, 0, 0, 0, kFrameReference}, {1, 0x4000, 0, -10, Sound(2) | 0x0008}});
    LastSequence(moves)->SetFlags(kSequenceUpperBody);
    new HierarchyBoundsChunk(LastSequence(moves), lo, hi);
    AddSequence(moves, 103, 3, "turn", 0,
                {{0, 0, 0, 0, 0}, {1, 0x8000, 0.8f, 0, kFrameReference | 0x8000}, {2, 0xC000, 1.6f, 0, 0}});
    // Aiming plays the torso turn and the stance to a fraction: their middle
    // frame is straight ahead.
    AddSequence(moves, 105, 12, "torso turn", 1000, {{0, 0, -0.8f, 0, 0}, {1, 0x8000, 0, 0, 0}, {2, 0xFFFF, 0.8f, 0, 0}});
    LastSequence(moves)->SetFlags(kSequenceUpperBody);
    AddSequence(moves, 106, 13, "aim", 600, {{0, 0, 0, 0, 0}, {1, 0x8000, 0.05f, -20, 0}});
    LastSequence(moves)->SetFlags(kSequenceUpperBody);
    AddSequence(moves, 107, 19, "crouch", 500, {{0, 0, 0, 0, 0}, {1, 0xFFFF, 0, -400, 0}});
    AddSequence(moves, 108, 20, "stand up", 500, {{0, 0, 0, -400, 0}, {1, 0xFFFF, 0, 0, 0}});
    AddSequence(moves, 109, 96, "place", 700, {{0, 0, 0, 0, 0}, {1, 0x8000, 0, -300, 0}, {2, 0xFFFF, 0, 0, 0}});
}

// The gun's pitch sweep, on the arm that holds it: a quarter turn down at
// its start, level in its middle, a quarter turn up at its end, so aiming
// holds it at the fraction of the aim's pitch. Turns are about x; y grows
// downward, so a positive turn lifts the muzzle.
void AddPitchSweep(HierarchyChunk* arm)
{
    constexpr float kQuarterTurn = 1.5707964f;
    auto* list = new SequenceListChunk(arm);
    // At rest the gun is level.
    AddSequence(list, 100, 0, "stand", 1000, {{0, 0, 0, 0, 0}});
    auto* seq = new SequenceChunk(list);
    new SequenceHeaderChunk(seq, 110, 5, "gun pitch");
    const struct {
        int32_t frame, time;
        float pitch;
    } keys[] = {{0, 0, -kQuarterTurn}, {1, 0x8000, 0}, {2, 0xFFFF, kQuarterTurn}};
    for (const auto& k : keys) {
        const float rotation[4] = {std::sin(k.pitch / 2), 0, 0, std::cos(k.pitch / 2)};
        const int32_t position[3] = {0, 0, 0};
        new SequenceFrameChunk(seq, rotation, position, k.time, k.frame, 0);
    }
    new SequenceTimeChunk(seq, 1000);
}

std::unique_ptr<ChunkFile> BuildRobot()
{
    RegisterModelChunkFamilies();
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();

    auto* env = new EnvironmentChunk(root);
    new FileNameChunk(env, "robot_hierarchy.rif");
    auto* names = new BitmapNamesChunk(env);
    BitmapNameEntry metal("robot_metal.bmp", 1);
    metal.imageSize_ = 128 | 128 << 16;
    BitmapNameEntry crate("crate.bmp", 2);
    crate.number_ = 1;
    crate.imageSize_ = 64 | 64 << 16;
    names->AddEntry(metal);
    names->AddEntry(crate);
    names->SetVersion(1);
    names->GetExtension().flags_ = 1;
    Md5Value digest{};
    for (size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<uint8_t>(0xA0 + i);
    names->SetDigest(metal, digest);

    AddPart(root, "robot_torso", Box(300, 250, 200), 0, 900, 0);
    AddHeadExtras(AddPart(root, "robot_head", Box(150, 120, 150), 0, 500, 0));
    AddPart(root, "robot_arm_l", Box(80, 300, 80), -380, 350, 0);
    AddPart(root, "robot_arm_r", Box(80, 300, 80), 380, 350, 0);
    AddPart(root, "robot_legs", Box(250, 450, 150), 0, 0, 0);
    // The fire parts at the hands: shots leave from them in turn.
    AddPart(root, "robot_muzzle_l", Box(30, 30, 60), -380, 200, 120);
    AddPart(root, "robot_muzzle_r", Box(30, 30, 60), 380, 200, 120);

    const int32_t humAt[3] = {0, -1200, 0};
    auto* hum = new SoundObjectChunk(root, humAt, "robot_hum");
    hum->values_[0] = 3000;
    hum->GetOrCreateAlternativeLocations();
    new IndexedSoundChunk(root, 1, "footstep");
    auto* shot = new IndexedSoundChunk(root, 2, "shot");
    shot->values_[0] = 2000;
    shot->values_[1] = 40000;
    shot->values_[2] = 128;
    shot->values_[3] = 128;

    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "Robot");
    const int32_t lo[3] = {-460, -1900, -200}, hi[3] = {460, 0, 200};
    new HierarchyBoundsChunk(model, lo, hi);

    // The legs are the root part; the torso rides on them.
    HierarchyChunk* legs = AddNode(model, "robot_legs");
    auto* legMoves = new SequenceListChunk(legs);
    AddSequence(legMoves, 101, 1, "walk", 1200, {{0, 0, -0.3f, 0, 0}, {1, 0x8000, 0.3f, 0, 0}});
    // The root answers for the model when the game asks for a sequence by
    // index: firing, aiming, crouching and placing an item hold the legs
    // still, their frames at the moving parts' times (the aim poses are
    // played over that extent).
    AddSequence(legMoves, 102, 2, "fire", 400, {{0, 0, 0, 0, 0}, {1, 0x4000, 0, 0, 0}});
    AddSequence(legMoves, 104, 5, "gun pitch", 1000, {{0, 0, 0, 0, 0}, {1, 0x8000, 0, 0, 0}, {2, 0xFFFF, 0, 0, 0}});
    AddSequence(legMoves, 105, 12, "torso turn", 1000, {{0, 0, 0, 0, 0}, {1, 0x8000, 0, 0, 0}, {2, 0xFFFF, 0, 0, 0}});
    AddSequence(legMoves, 106, 13, "aim", 600, {{0, 0, 0, 0, 0}, {1, 0x8000, 0, 0, 0}});
    AddSequence(legMoves, 107, 19, "crouch", 500, {{0, 0, 0, 0, 0}, {1, 0xFFFF, 0, 0, 0}});
    AddSequence(legMoves, 108, 20, "stand up", 500, {{0, 0, 0, 0, 0}, {1, 0xFFFF, 0, 0, 0}});
    AddSequence(legMoves, 109, 96, "place", 700, {{0, 0, 0, 0, 0}, {1, 0x8000, 0, 0, 0}, {2, 0xFFFF, 0, 0, 0}});
    HierarchyChunk* torso = AddNode(legs, "robot_torso");
    // The parts' sequences drive the model; the dump tool lists the copy kept on
    // the model itself.
    AddMoves(torso, lo, hi);
    AddMoves(model, lo, hi);
    AddNode(torso, "robot_head");
    // The fire parts stand at the hands, in front: shots leave from them.
    for (const bool left : {true, false}) {
        HierarchyChunk* arm = AddNode(torso, left ? "robot_arm_l" : "robot_arm_r");
        AddPitchSweep(arm);
        PlaceNode(AddNode(arm, left ? "robot_muzzle_l" : "robot_muzzle_r"), left ? -380 : 380, 200, 120);
    }

    new DegradationDistancesChunk(root, 3);
    auto* heavy = new ShapeSetChunk(root, "Heavy");
    heavy->replacements_ = {{"robot_head", "robot_head"}, {"robot_torso", "robot_torso"}};
    auto* female = new ShapeSetChunk(root, "Female");
    female->replacements_ = {{"robot_head", "robot_head"}};
    female->properties_ = kShapeSetFemale;
    auto* scout = new ShapeSetCollectionChunk(root, 0, "Scout");
    scout->setIndexes_ = {heavy->index_, female->index_};
    scout->voiceIndex_ = 2;
    auto* odd = new ShapeSetCollectionChunk(root, 1, "Odd one");
    odd->setIndexes_ = {female->index_, 4}; // 4 names no set
    odd->voiceIndex_ = 1;
    return file;
}

bool WriteRobot(const sample::Context& ctx)
{
    auto dir = ctx.out / "rifs";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!BuildRobot()->Save(dir / "robot_hierarchy.rif") ||
        !BuildRobot()->SavePlain(dir / "robot_hierarchy_plain.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / "robot_hierarchy.rif").c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kRobot(21, "chunk hierarchy", WriteRobot);

} // namespace
