// Model files animate whatever their sequences hold: keys out of time order,
// keys without span, sequences without length, far times. Every model in the
// file is posed by every playback mode at a spread of times; the sanitizers
// and the finite-pose check catch what goes wrong.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "chunk/loaders/environment_loader.h"
#include "tests/Veapi/model_support.h"

namespace {

bool Finite(const Matrix34& m)
{
    for (const auto& row : m.m)
        for (float v : row)
            if (!std::isfinite(v))
                return false;
    return true;
}

bool KeysFinite(const ShapeInstance& node)
{
    if (node.sequences_)
        for (const auto& s : node.sequences_->entries_)
            if (s)
                for (const SequenceKey& k : s->keys_)
                    for (float v : {k.position_.x, k.position_.y, k.position_.z, k.rotation_.x, k.rotation_.y,
                                    k.rotation_.z, k.rotation_.w})
                        if (!std::isfinite(v))
                            return false;
    return true;
}

void PoseTree(ShapeInstance& node, uint64_t time)
{
    const Matrix34 m = node.AnimatedMatrix(time);
    if (KeysFinite(node) && !Finite(m))
        std::abort();
    for (ShapeInstance* child : node.children_)
        PoseTree(*child, time);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    trevok::EnvironmentRecordPtr record = trevok::LoadEnvironmentImage(std::span<const uint8_t>(data, size));
    if (!record)
        return 0;
    const int32_t speeds[] = {0x10000, 0, -0x10000, 0x7FFFFFFF, 3};
    const uint32_t modes[] = {0, SequenceMode::kBlendIn, SequenceMode::kHoldLastPose, SequenceMode::kReverse,
                              SequenceMode::kLayered};
    const uint64_t times[] = {0, 1, 499, 1000, 0xFFFFFFFFu, 0x100000001ull, uint64_t(1) << 62};
    std::vector<const std::string*> models;
    trevok::FindHierarchyChunks(*record, models);
    for (const std::string* name : models) {
        HierarchyPtr model = modeltest::LoadModel(*record, *name, 1000);
        if (!model)
            continue;
        Hierarchy* h = model.get();
        VeObject* object = VeObject::FromHierarchy(h, false);
        const size_t count = h->sequences_ ? h->sequences_->entries_.size() : 0;
        for (size_t i = 0; i < count && i < 8; ++i) {
            const int32_t speed = speeds[(i + size) % std::size(speeds)];
            const uint32_t mode = modes[(i + size / 5) % std::size(modes)];
            object->PlaySequence(int32_t(i), &speed, i % 3 ? int32_t(i) : -1, 100 * i, nullptr, mode, i % 2 == 0);
            const int32_t from = int32_t(size * 7919u % 0x10001u), to = int32_t(i * 0x4000u);
            object->PlaySequenceTo(int32_t(i), &speed, &from, &to, 50 * i, nullptr, nullptr, mode & 0xC, true);
            for (uint64_t t : times) {
                object->UpdateSequences(t, DrawFlag::kAnimateOnly);
                if (object->Root())
                    PoseTree(*object->Root(), t);
            }
        }
        object->StopSequences(VeObject::kStopAll, -1);
        object->Release();
    }
    return 0;
}
