#include "console/screen_message.h"

#include "console/text_console.h"

#include <cmath>

namespace {
std::vector<std::unique_ptr<ScreenMessage>> g_messages;
}

ScreenMessage& ScreenMessage::Create(float x, float y, const std::string& text, int kind, float width)
{
    auto m = std::make_unique<ScreenMessage>();
    m->text = text;
    m->kind = kind;
    m->left = x;
    m->right = x + width;
    m->y = y;
    if (m->left < 0) {
        m->left = 0;
        m->right = width;
    }
    if (m->right > 1) {
        m->right = 1;
        m->left = 1 - width;
    }
    if (m->y > 0.9f)
        m->y = 0.9f;
    // The rows the text wraps to in its rectangle, in small-font lines.
    const float height = float(TextConsole::WrapRows(m->text, m->right - m->left)) * TextConsole::Get().rowHeight;
    if (y - height < 0.1f)
        m->y += 0.1f - (y - height);
    const int64_t now = TextConsole::GameNow();
    m->start = now;
    for (const auto& other : g_messages)
        if (other->kind == kind && other->end > m->start)
            m->start = other->end;
    m->end = m->start + int64_t(m->text.size()) * TextConsole::TicksPerSecond() / 7;
    const bool upper = m->y > 0.5f;
    for (const auto& other : g_messages) {
        if (other->kind == kind || !(other->end > m->start && m->end > other->start))
            continue;
        if (std::fabs(other->y - m->y) < height)
            m->y += upper ? -height : height;
    }
    g_messages.push_back(std::move(m));
    return *g_messages.back();
}

size_t ScreenMessage::Shown(int64_t now) const
{
    if (now <= start)
        return 0;
    const double seconds = double(now - start) / double(TextConsole::TicksPerSecond());
    const double n = std::round(seconds * kRevealRate);
    return n >= double(text.size()) ? text.size() : size_t(n);
}

namespace ScreenMessages {

std::vector<const ScreenMessage*> DrawAll()
{
    const int64_t now = TextConsole::GameNow();
    bool drawn[3] = {};
    std::vector<const ScreenMessage*> shown;
    for (auto it = g_messages.begin(); it != g_messages.end();) {
        ScreenMessage& m = **it;
        const int k = m.kind >= 0 && m.kind < 3 ? m.kind : 0;
        if (drawn[k]) {
            ++it;
            continue;
        }
        if (m.end >= now) {
            drawn[k] = true;
            if (m.start <= now)
                shown.push_back(&m);
            ++it;
        } else {
            it = g_messages.erase(it);
        }
    }
    return shown;
}

void RemoveKind(int kind)
{
    std::erase_if(g_messages, [kind](const auto& m) { return m->kind == kind; });
}

void Clear() { g_messages.clear(); }

const std::vector<std::unique_ptr<ScreenMessage>>& All() { return g_messages; }

} // namespace ScreenMessages
