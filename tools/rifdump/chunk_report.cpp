#include "tools/rifdump/chunk_report.h"

#include "chunk/chunk_families.h"
#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/sequence_chunks.h"
#include "chunk/sound_chunks.h"
#include "tools/rifdump/tool_chunks.h"

#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace trevok::rifdump {
namespace {

constexpr int kFrameFlagCount = 16;
constexpr size_t kHeaderColumnWidth = 50;
// A sequence without a stored length counts as one second.
constexpr int64_t kDefaultSequenceLength = 1000;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return text;
}

void Print(std::FILE* out, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), out);
}

struct Totals {
    int sequences_ = 0;
    int frames_ = 0;
    int64_t length_ = 0; // thousandths of a second
};

template <class T>
T* FirstChild(const ParentChunk& parent, std::string_view identifier)
{
    return parent.FindChildAs<T>(identifier);
}

template <class T>
std::vector<T*> ChildrenOf(const ParentChunk& parent, std::string_view identifier)
{
    std::vector<T*> list;
    for (Chunk* c = parent.FirstChild(); c; c = c->Next())
        if (c->Is(identifier))
            if (auto* t = dynamic_cast<T*>(c))
                list.push_back(t);
    return list;
}

// The frame's time value is its frame number field; the flag word holds the flags,
// the sound index and the delta mark.
int32_t FrameTime(const SequenceFrameChunk& frame)
{
    return frame.frameNumber_;
}

void PrintSequence(std::FILE* out, const ChunkFile& file, const ParentChunk& sequence,
                   const SequenceHeaderChunk& header, Totals& totals)
{
    std::string line = Format("\t%s %d %d", header.name_.c_str(), header.number_, header.index_);
    if (line.size() < kHeaderColumnWidth)
        line.resize(kHeaderColumnWidth, ' ');
    Print(out, line);

    if (auto* time = FirstChild<SequenceTimeChunk>(sequence, chunk_id::kSequenceTime)) {
        auto* speed = FirstChild<SequenceSpeedChunk>(sequence, chunk_id::kSequenceSpeed);
        int32_t speedValue = speed ? speed->speed_ : 0;
        Print(out, Format("\tTime %.1f Speed %.3f", time->milliseconds_ * 0.001, speedValue * 0.001));
        totals.length_ += time->milliseconds_;
    } else {
        Print(out, "\t\t\t\t");
        totals.length_ += kDefaultSequenceLength;
    }

    auto frames = ChildrenOf<SequenceFrameChunk>(sequence, chunk_id::kSequenceFrame);
    Print(out, Format("\tFrames %d", static_cast<int>(frames.size())));
    totals.frames_ += static_cast<int>(frames.size());
    totals.sequences_ += 1;

    for (int bit = 0; bit < kFrameFlagCount; ++bit) {
        bool first = true;
        for (const auto* frame : frames) {
            if (!(frame->flags_ & (1u << bit)))
                continue;
            if (first)
                Print(out, Format("   Flag %d : %d", bit, FrameTime(*frame)));
            else
                Print(out, Format(",%d", FrameTime(*frame)));
            first = false;
        }
    }

    const SequenceFrameChunk* delta = nullptr;
    for (const auto* frame : frames)
        if (frame->IsReference())
            delta = frame;
    if (delta && FrameTime(*delta) == 0)
        Print(out, "   Delta First");
    else if (delta && FrameTime(*delta) > 0)
        Print(out, "   Delta Middle");

    auto* flags = FirstChild<SequenceFlagsChunk>(sequence, chunk_id::kSequenceFlags);
    int32_t flagWord = flags ? flags->flags_ : 0;
    if (flagWord & kSequenceUpperBody)
        Print(out, "   Upper Sequence");
    else if (flagWord & kSequenceLowerBody)
        Print(out, "   Lower Sequence");
    Print(out, "\n");

    bool anySound = false;
    for (const auto* frame : frames) {
        if (frame->Sound() == 0)
            continue;
        Print(out, anySound ? " , " : "           Sounds : ");
        Print(out, Format("%s at %d", SoundNameForIndex(file, frame->Sound()).c_str(), FrameTime(*frame)));
        anySound = true;
    }
    if (anySound)
        Print(out, "\n");
}

void PrintHierarchy(std::FILE* out, const ChunkFile& file, const HierarchyChunk& hierarchy, Totals& totals)
{
    Print(out, "********** HIERARCHY ***********\n\nName:\n");
    if (auto* name = hierarchy.GetName())
        Print(out, Format("\t'%s'\n", name->name_.c_str()));
    else
        Print(out, "\t'Template' (unnamed)\n");

    Print(out, "\nSequences:\n");
    // Only the first sequence list counts; a second one is left out.
    if (auto* list = FirstChild<SequenceListChunk>(hierarchy, chunk_id::kSequenceList)) {
        for (Chunk* c = list->FirstChild(); c; c = c->Next()) {
            auto* sequence = dynamic_cast<ParentChunk*>(c);
            if (!sequence)
                continue;
            if (auto* header = FirstChild<SequenceHeaderChunk>(*sequence, chunk_id::kSequenceHeader))
                PrintSequence(out, file, *sequence, *header, totals);
        }
    }

    Print(out, "\nHierarchy:\n");
    PrintHierarchyNode(out, hierarchy, 0);
    Print(out, "\n\n");
}

void PrintShapeSets(std::FILE* out, const std::vector<ShapeSetChunk*>& sets)
{
    if (sets.empty())
        return;
    Print(out, "********** SHAPESETS ***********\n\n");
    for (const auto* set : sets) {
        Print(out, Format("Name '%s'\n", set->name_.c_str()));
        Print(out, Format("Index %d\n", set->index_));
        Print(out, "Replacements :\n");
        for (const auto& r : set->replacements_)
            Print(out, Format("\t'%s' --> '%s'\n", r.shape_.c_str(), r.replacement_.c_str()));
        if (set->properties_ != 0) {
            Print(out, "Properties :\n");
            if (set->properties_ & kShapeSetFemale)
                Print(out, "\tFemale\n");
        }
        Print(out, "\n\n");
    }
}

void PrintCollections(std::FILE* out, const std::vector<ShapeSetCollectionChunk*>& collections,
                      const std::vector<ShapeSetChunk*>& sets)
{
    if (collections.empty())
        return;
    Print(out, "********** SHAPESET COLLECTIONS ***********\n\n");
    for (const auto* collection : collections) {
        Print(out, Format("Name '%s'\n", collection->name_.c_str()));
        Print(out, Format("Index %d\n", collection->index_));
        Print(out, Format("Voice Index %d\n", collection->voiceIndex_));
        Print(out, "Shape Sets Used :\n");
        for (int32_t setIndex : collection->setIndexes_) {
            const ShapeSetChunk* found = nullptr;
            for (const auto* set : sets)
                if (set->index_ == setIndex) {
                    found = set;
                    break;
                }
            if (found)
                Print(out, Format("\t%s\n", found->name_.c_str()));
            else
                Print(out, Format("\tSet %d (Not Found)\n", setIndex));
        }
        Print(out, "\n\n");
    }
}

} // namespace

void PrintHierarchyNode(std::FILE* out, const HierarchyChunk& node, int depth)
{
    if (auto* data = node.GetData(); data && !data->objectName_.empty()) {
        Print(out, std::string(static_cast<size_t>(depth), '\t'));
        Print(out, Format("%s\n", data->objectName_.c_str()));
    }
    std::vector<HierarchyChunk*> children;
    node.GetSubHierarchies(children);
    for (const auto* child : children)
        PrintHierarchyNode(out, *child, depth + 1);
}

std::string SoundNameForIndex(const ChunkFile& file, int index)
{
    for (const auto* sound : ChildrenOf<IndexedSoundChunk>(file, chunk_id::kIndexedSound))
        if (sound->index_ == index)
            return sound->name_;
    return std::to_string(index);
}

int RunChunkDump(int argc, const char* const argv[], std::FILE* out, std::FILE* errors)
{
    if (argc != 2) {
        Print(out, Format("Usage:\n%s filename\n", argc > 0 && argv[0] ? argv[0] : "rifdump"));
        return kUsageExitStatus;
    }
    RegisterRifdumpChunks();

    auto fail = [&](const std::string& detail) {
        Print(out, Format("Failed to load %s\n", argv[1]));
        if (errors && !detail.empty())
            Print(errors, detail + "\n");
        return kLoadFailedExitStatus;
    };
    // The file read refuses folders, devices, FIFOs and oversized files, and says which.
    auto file = ChunkFile::Open(argv[1]);
    if (file->ErrorCode() != kChunkOk)
        return fail(file->ErrorMessage());

    Totals totals;
    for (const auto* hierarchy : ChildrenOf<HierarchyChunk>(*file, chunk_id::kHierarchy))
        PrintHierarchy(out, *file, *hierarchy, totals);

    auto sets = ChildrenOf<ShapeSetChunk>(*file, chunk_id::kShapeSet);
    PrintShapeSets(out, sets);
    PrintCollections(out, ChildrenOf<ShapeSetCollectionChunk>(*file, chunk_id::kShapeSetCollection), sets);

    Print(out, Format("Total number of sequences : %d\n", totals.sequences_));
    Print(out, Format("Total number of frames    : %d\n", totals.frames_));
    Print(out, Format("Total length of sequences : %.3f seconds\n", static_cast<double>(totals.length_) * 0.001));
    std::fflush(out);
    return 0;
}

} // namespace trevok::rifdump
