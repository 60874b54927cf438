// Short texts shown on the game screen for a time, one of each kind at once;
// messages of one kind queue behind each other and are revealed character
// by character. Every message keeps its own copy of its text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ScreenMessage {
public:
    static constexpr float kRevealRate = 25.0f; // characters a second

    // Places, times and appends the message to the list.
    static ScreenMessage& Create(float x, float y, const std::string& text, int kind, float width);
    virtual ~ScreenMessage() = default;
    // Characters shown at game time `now`.
    size_t Shown(int64_t now) const;

    float left = 0, y = 0, right = 0;
    std::string text;
    int64_t start = 0, end = 0;
    int kind = 0;
};

namespace ScreenMessages {
// Once a frame: the messages drawn now (one per kind), the expired freed.
std::vector<const ScreenMessage*> DrawAll();
void RemoveKind(int kind);
void Clear();
const std::vector<std::unique_ptr<ScreenMessage>>& All();
} // namespace ScreenMessages
