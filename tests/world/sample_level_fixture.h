// The generated sample level loaded as the level loader will: the level
// shape and its collision polygons, the door object's geometry added at the
// door's place, the cells laid out and linked.
#pragma once

#include "chunk/chunk_file.h"
#include "chunk/environment_record.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "Veapi/ve_object.h"
#include "level_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace leveltest {

struct SampleLevel {
    std::unique_ptr<trevok::ChunkFile> file;
    VeShape* levelShape = nullptr;
    VeShape* doorShape = nullptr;
    CollisionSource levelCollision;
    VeObject* door = nullptr;
    std::unique_ptr<Level> level;
    Vec3 doorAt{0, 0, 0};

    static std::filesystem::path Path()
    {
        const char* root = std::getenv("TREVOK_SAMPLE_DATA");
        return std::filesystem::path(root ? root : "") / "rifs" / "sample_level.rif";
    }

    // False when the sample data has not been generated.
    bool Load()
    {
        if (!std::filesystem::exists(Path()))
            return false;
        file = trevok::ChunkFile::Open(Path());
        if (!file || file->ErrorCode() != trevok::kChunkOk)
            return false;
        trevok::EnvironmentRecord millimetres;
        millimetres.scale_ = 0.001f;
        std::vector<trevok::ObjectChunk*> objects;
        file->GetObjects(objects);
        for (trevok::ObjectChunk* object : objects) {
            VeShape* shape = BuildShape(*object->GetShape(), nullptr, millimetres, 0);
            const auto& p = object->Header().position_;
            const Vec3 at{p[0] * 0.001f, p[1] * 0.001f, p[2] * 0.001f};
            if (object->Name() == "level") {
                levelShape = shape;
                levelCollision = CollisionSource::FromShape(*shape->geometry_);
            } else {
                doorShape = shape;
                doorAt = at;
            }
        }
        if (!levelShape || !doorShape)
            return false;
        level = std::make_unique<Level>(levelShape, Vec3(0, 0, 0), &levelCollision);
        door = VeObject::FromShape(doorShape, false);
        door->placement_.SetPosition(doorAt);
        level->AddObjectGeometry(door);
        level->BuildCellGrid(98, 4, 98);
        level->LinkPolygons();
        return true;
    }

    void OpenDoor() const
    {
        level->FindMesh(level->GetShapeRoot())->ForEachPolygon([&](CollisionPolygon& p) { level->LinkClassNeighbours(p); });
    }
    void CloseDoor() const
    {
        level->FindMesh(level->GetShapeRoot())->ForEachPolygon([](CollisionPolygon& p) { p.PruneLinks(); });
    }

    ~SampleLevel()
    {
        level.reset();
        if (door)
            door->Release();
        if (levelShape)
            levelShape->Release();
        if (doorShape)
            doorShape->Release();
    }
};

} // namespace leveltest
