// The plates the interface draws its panels on: a pool of reusable plate
// objects handed out one by one each frame, and the batch that draws the
// flat quads of the plate atlas with its one material.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "ui/sprite_batch.h"

class RenderMaterial;

// T is reference counted (Release drops the pool's reference).
template <class T>
class PlatePoolOf {
public:
    using Factory = std::function<T*()>;
    explicit PlatePoolOf(Factory factory) : factory_(std::move(factory)) {}
    PlatePoolOf(const PlatePoolOf&) = delete;
    PlatePoolOf& operator=(const PlatePoolOf&) = delete;
    ~PlatePoolOf() { Clear(); }

    // The next free plate; the pool grows by half and one when full. Null
    // when the factory cannot make one.
    T* Next()
    {
        if (used_ == plates_.size()) {
            const size_t grown = plates_.size() + plates_.size() / 2 + 1;
            while (plates_.size() < grown) {
                T* plate = factory_ ? factory_() : nullptr;
                if (!plate)
                    break;
                plates_.push_back(plate);
            }
            if (used_ == plates_.size())
                return nullptr;
        }
        return plates_[used_++];
    }
    // Every plate is free again (the start of a frame).
    void Reset() { used_ = 0; }
    void Clear()
    {
        for (T* plate : plates_)
            plate->Release();
        plates_.clear();
        used_ = 0;
    }
    size_t Size() const { return plates_.size(); }
    size_t Used() const { return used_; }

private:
    Factory factory_;
    std::vector<T*> plates_;
    size_t used_ = 0;
};

// Flat quads of the plate atlas ("units\plates 2 1024.rim") in one batch.
class PlateBatch {
public:
    static constexpr const char* kTexture = "units\\plates 2 1024.rim";
    explicit PlateBatch(SpriteBatch& batch) : batch_(batch) {}
    void SetMaterial(RenderMaterial* material) { material_ = material; }
    void Begin() { batch_.SetMaterial(material_); }
    void End() { batch_.Flush(); }
    SpriteBatch& Quads() { return batch_; }

private:
    SpriteBatch& batch_;
    RenderMaterial* material_ = nullptr;
};
