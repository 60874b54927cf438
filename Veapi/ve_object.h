// 3-D objects as the game places them: a placement, a tree of nodes each
// holding up to ten level-of-detail shapes and its own local transform, an
// optional box for culling, the sequences playing on it and the textures its
// tree uses. Game code makes objects from a shape, a node tree or a model
// hierarchy, queues them once per frame and edits named parts; the render
// queue draws them at the end of the frame. Animating (the draw-nothing flag)
// never touches the device, so the server thread can run its own objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Veapi/hierarchy.h"
#include "Veapi/sequence_player.h"
#include "app/list.h"
#include "app/maths.h"
#include "app/ref_counted.h"
#include "platform/gfx.h"

class BoundingBox;
class Camera;
class DrawHooks;
class HitHook;
class LightSet;
class RenderMaterial;
class TextureEntry;
class VeShape;

// The draw-flags word shared by the queue, objects, nodes and shapes.
namespace DrawFlag {
constexpr uint32_t kNoBoxTests = 0x1;
constexpr uint32_t kSkipNodeBox = 0x2;
constexpr uint32_t kAlwaysSlot0 = 0x4;
constexpr uint32_t kRecomputeMatrices = 0x20;
constexpr uint32_t kTranslucentOnly = 0x40;
constexpr uint32_t kNoTextures = 0x80;
constexpr uint32_t kWireFrame = 0x200000;
constexpr uint32_t kAnimateOnly = 0x1000000;  // also the culled state passed down the tree
constexpr uint32_t kSequencesGetObject = 0x2000000;
constexpr uint32_t kFromQueue = 0x4000000;
constexpr uint32_t kDropEvaluators = 0x8000000;
constexpr uint32_t kExactHit = 0x10000000;
constexpr uint32_t kHitTest = 0x20000000;
constexpr uint32_t kDefaultProbe = 0x40000000;
} // namespace DrawFlag

// Row-vector 4 x 4 device matrix of a 3 x 4 matrix: the rotation transposed,
// the translation in the last row.
gfx::Matrix ToDeviceMatrix(const Matrix34& m);

class ShapeInstance {
public:
    ShapeInstance();
    virtual ~ShapeInstance();
    ShapeInstance(const ShapeInstance&) = delete;
    ShapeInstance& operator=(const ShapeInstance&) = delete;

    // The shape's use is raised for the node.
    static ShapeInstance* FromShape(VeShape* shape, bool withBox);
    static ShapeInstance* FromHierarchy(Hierarchy* node, bool withBox);

    void Draw(int depth, uint64_t time, const gfx::Matrix& parent, int32_t slot, uint32_t flags, uint32_t culled,
              TextureEntry* filter);
    void UpdateMatrix(const gfx::Matrix& parent, uint64_t time);

    // A node without a name matches any name; otherwise case-insensitive.
    ShapeInstance* FindNode(const std::string& name);
    // Only a node carrying the name answers, so a name no part has is refused.
    bool FindPartPosition(Vec3& out, const std::string& name, uint64_t time);
    bool GetNodeMatrix(Matrix34& out, const ShapeInstance* descendant, uint64_t time);
    // The local matrix at a time, layered poses included, as drawn
    // (evaluators are not removed by asking).
    Matrix34 AnimatedMatrix(uint64_t time);
    // False when no node has the name.
    bool SetPartShape(VeShape* shape, const std::string& name);
    void SetPartHierarchy(Hierarchy* hierarchy, uint32_t flags);
    // Deletes, at every level below this node, each child with the name.
    void RemovePart(const std::string& name);
    // Appends to the first descendant (not this node) with the name.
    bool AttachChild(ShapeInstance* child, const std::string& name);
    void AppendChild(ShapeInstance* child);
    ShapeInstance* FirstChild();
    // Gives the slot-0 shape a box and cuts it until no piece holds more
    // than `limit` vertices; the pieces become children.
    void SplitByVertexLimit(uint32_t limit);
    // Hands the slot-0 shape's use to the caller and empties the slot.
    VeShape* TakeShape();
    void SetShape(VeShape* shape, bool withBox);

    // Sequence operations over this node and its sub-tree.
    bool AttachSequence(SequencePlayer* player, bool counted);
    void BeginBlend(uint64_t start, uint32_t blend);
    bool DropMainSequence();
    bool DetachSequence(SequencePlayer* player);
    // Removes every evaluator of the player (the player is going).
    void RemovePlayer(SequencePlayer* player);
    // Switches to a copy of the shared sequences (a fresh copy on every call)
    // that this node may change; null without sequences.
    SequenceSet* PrivateSequences();

    // Breadth-first merge of the textures of the tree.
    void CollectTextures(List<TextureEntry*>& out);

    static constexpr uint32_t kNodeSkipBox = 0x2;
    static constexpr uint32_t kNodeAlwaysSlot0 = 0x4;
    static constexpr uint32_t kNodeRecompute = 0x20;

    Transform local_;
    List<TextureEntry*> textures_;
    VeShape* slots_[kShapeSlots] = {};
    gfx::Matrix nodeMatrix_;
    uint32_t frameStamp_ = 0xFFFFFFFFu;
    uint32_t culled_ = 0;
    std::string name_;  // empty: no name
    std::unique_ptr<BoundingBox> box_;
    Vec3 sphereCentre_{0, 0, 0};
    float sphereRadius_ = 0;
    uint32_t flags_ = 0;
    NodeBlend blend_;
    List<SequenceEvaluator*> evaluators_;  // owned
    List<ShapeInstance*> children_;        // owned
    std::shared_ptr<const SequenceSet> sequences_;
    std::shared_ptr<const SequenceSet> savedSequences_;  // while a private copy is in use

private:
    void TakeShapeLooks(VeShape* shape, bool withBox);
    void ReleaseSlots();
    void DeleteEvaluator(List<SequenceEvaluator*>::Node* node);
    // The main sequence's pose with every layered pose on top of it; with
    // `settle`, playbacks that have run out end here.
    Matrix34 SequencePose(uint64_t time, bool settle);
    bool HasName(const std::string& name) const;
};

class VeObject : public RefCountedResource {
public:
    static constexpr const char* kFromShapeName = "Made from an VeShape";
    static constexpr const char* kFromObjectName = "Made from an VeObject";

    static VeObject* FromShape(VeShape* shape, bool withBox);
    // Takes over `root`, which must have a box.
    static VeObject* FromObject(ShapeInstance* root, bool withBox);
    static VeObject* FromHierarchy(Hierarchy* hierarchy, bool withBox);

    void QueueDraw(uint64_t time, Camera* camera, LightSet* lights, RenderMaterial* material, int32_t slot,
                   uint32_t flags, HitHook* hitHook, DrawHooks* hooks, List<TextureEntry*>* textures);
    void Draw(uint64_t time, int32_t slot, uint32_t flags, TextureEntry* filter);
    void UpdateSequences(uint64_t time, uint32_t flags);

    // Parts. An object whose root was removed has none: queries say no.
    bool FindPartPosition(Vec3& out, const std::string& name, uint64_t time);
    bool SetPartShape(VeShape* shape, const std::string& name);
    bool SetPartHierarchy(Hierarchy* hierarchy, uint32_t flags);
    void RemovePart(const std::string& name);
    void MotionPosition(Vec3& out, uint64_t time);
    Vec3 SequenceMotion(int32_t index) const;
    Vec3 SequenceVector(int32_t index) const;
    void RebuildBounds();
    void ReleaseBounds();

    // Sequences. An index the root's set does not have is refused (no
    // player is made; a completion flag is set at once).
    void PlaySequence(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start, uint8_t* completion,
                      uint32_t mode, bool counted);
    void PlaySequenceOnTrack(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start,
                             uint8_t* completion, uint32_t mode, bool counted, int32_t track);
    uint8_t PlaySequenceTo(int32_t index, const int32_t* speed, const int32_t* from, const int32_t* to, uint64_t start,
                           uint64_t* endOut, uint8_t* completion, uint32_t mode, bool counted);
    static constexpr uint32_t kStopAll = 1, kStopTrack = 2;
    void StopSequences(uint32_t flags, int32_t track);
    bool HasSequence(int32_t index) const;
    bool SequenceIsStatic(int32_t index) const;
    bool IsPlayingSequence(int32_t index);
    bool IsPlayingLayeredSequence(int32_t index);

    ShapeInstance* Root() const { return root_.get(); }
    List<TextureEntry*>& Textures() { return textures_; }
    List<SequencePlayer*>& Players() { return players_; }
    const std::string& Name() const { return name_; }
    bool HasBounds() const { return hasBounds_; }
    BoundingBox* Box() const { return box_.get(); }

    Transform placement_;
    uint64_t motionStart_ = 0;
    Vec3 minimum_{0, 0, 0}, maximum_{0, 0, 0};

protected:
    VeObject();
    ~VeObject() override;

private:
    void RebuildTextures();
    void DeletePlayer(List<SequencePlayer*>::Node* node);
    const Sequence* RootSequence(int32_t index) const;
    bool StartMain(const Sequence& sequence, int32_t speed, uint32_t& mode, uint64_t& start, bool counted,
                   bool dropAlways);

    std::string name_;
    std::unique_ptr<ShapeInstance> root_;
    List<TextureEntry*> textures_;
    std::vector<Vec3> motion_, vector_;
    bool hasBounds_ = false;
    std::unique_ptr<BoundingBox> box_;
    List<SequencePlayer*> players_;  // owned; the first is the main sequence
};
