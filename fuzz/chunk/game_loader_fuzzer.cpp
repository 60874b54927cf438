// Walks arbitrary bytes through the game-side loaders: environment, every
// named hierarchy, every object's shape, the only shape, markers and
// cut-scenes. Every shape built must index only its own vertices and keep
// its sub-meshes within the vertex limit.
#include "Veapi/shape_builder.h"
#include "Veapi/texture_manager.h"
#include "chunk/cutscene_chunks.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "chunk/object_chunks.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

void Check(VeShape* shape)
{
    if (!shape)
        return;
    for (const SubMesh* m : shape->SubMeshes()) {
        if (m->vertexCount > ShapeBuild::kSubMeshVertexLimit)
            std::abort();
        for (uint16_t i : m->indices)
            if (i >= m->vertexCount)
                std::abort();
    }
}

void CheckTree(Hierarchy& node)
{
    for (VeShape* s : node.shapes_)
        Check(s);
    for (const auto& child : node.children_)
        CheckTree(*child);
}

void WalkCutscene(const trevok::CutsceneChunk& cutscene)
{
    std::vector<trevok::CutsceneUserChunk*> users;
    cutscene.GetUsers(users);
    for (auto* u : users) {
        u->GetData();
        u->GetHierarchyName();
        u->GetSoundProperties();
        u->GetPositions();
        std::vector<trevok::CutsceneTrackChunk*> tracks;
        u->GetTracks(tracks);
        for (auto* t : tracks) {
            t->GetPoints();
            t->GetFieldOfView();
            t->GetName();
            std::vector<trevok::CutsceneEventChunk*> events;
            t->GetEvents(events);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    trevok::EnvironmentRecordPtr record = trevok::LoadEnvironmentImage(std::span<const uint8_t>(data, size), "fuzz.rif");
    if (!record)
        return 0;
    std::vector<const std::string*> names;
    trevok::FindHierarchyChunks(*record, names);
    std::vector<std::string> copies;
    for (const std::string* n : names)
        copies.push_back(*n);
    for (const std::string& n : copies)
        if (auto tree = trevok::LoadHierarchyFromChunks(n, *record))
            CheckTree(*tree);
    std::vector<trevok::ObjectChunk*> objects;
    record->file_->GetObjects(objects);
    std::vector<std::string> objectNames;
    for (auto* o : objects)
        objectNames.push_back(o->Name());
    for (const std::string& n : objectNames) {
        VeShape* s = trevok::LoadObjectFromChunks(*record, n, nullptr, nullptr, ShapeBuild::kMergeTrianglePairs);
        Check(s);
        if (s)
            s->Release();
    }
    if (VeShape* only = trevok::LoadOnlyShape(*record)) {
        Check(only);
        only->Release();
    }
    std::vector<trevok::ChunkObject> markers;
    trevok::LoadDummyObjects(markers, *record, Vec3(0, 0, 0));
    if (auto* env = record->file_->FindChildAs<trevok::ParentChunk>("VQNENVDT"))
        if (auto* special = env->FindChildAs<trevok::ParentChunk>("SPECLOBJ"))
            for (trevok::Chunk* c = special->FirstChild(); c; c = c->Next())
                if (auto* cutscene = dynamic_cast<const trevok::CutsceneChunk*>(c))
                    WalkCutscene(*cutscene);
    record.reset();
    TextureManager::Clear();
    return 0;
}
