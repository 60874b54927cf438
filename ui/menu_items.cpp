#include "ui/menu_items.h"

#include "app/app_time.h"
#include "app/string_table.h"
#include "console/console_draw.h"
#include "console/text_console.h"

#include <algorithm>
#include <cmath>

MenuText MenuText::Borrowed(const char* text)
{
    MenuText t;
    t.borrowed_ = text ? text : StringTable::Empty();
    return t;
}

MenuText MenuText::Owned(std::string text)
{
    MenuText t;
    t.owned_ = std::move(text);
    return t;
}

namespace MenuReveal {
namespace {

// Until start-up installs the shared generator: a fixed-seed linear
// congruential source, enough for texts that type themselves out.
uint32_t BuiltIn()
{
    static uint32_t state = 12345;
    state = state * 1103515245u + 12345u;
    return (state >> 1) & 0x7FFFFFFFu;
}

RandomSource g_source = BuiltIn;

} // namespace

void SetRandomSource(RandomSource source) { g_source = source ? source : BuiltIn; }

float NextSigned()
{
    // 31 bits onto [0, 2), then shifted down.
    return float(double(g_source() & 0x7FFFFFFFu) / double(1u << 30)) - 1.0f;
}

} // namespace MenuReveal

namespace {

// 25 characters a second on average, between 10 and 40.
float DrawRevealRate()
{
    const float r1 = MenuReveal::NextSigned(), r2 = MenuReveal::NextSigned();
    return (25.0f + 15.0f * r1 * r2) / float(AppTime::TicksPerSecond());
}

int32_t CharactersBy(int64_t now, int64_t start, float rate, size_t length)
{
    const double shown = std::round(double(now - start) * double(rate));
    return int32_t(std::clamp(shown, 0.0, double(length)));
}

} // namespace

MenuItem MenuItem::MakeText(MenuText text, int32_t id)
{
    MenuItem item;
    item.text = std::move(text);
    item.id = id;
    item.kind = kText;
    return item;
}

MenuItem MenuItem::MakeTextWithValue(MenuText text, MenuText valueText, int32_t id, Kind kind)
{
    MenuItem item = MakeText(std::move(text), id);
    item.valueText = std::move(valueText);
    item.kind = kind;
    return item;
}

void MenuItem::Layout()
{
    const float top = RowTop(id);
    if (kind == kText || kind == kTextWithValue) {
        rect = {kTextLeft, top, kValueRight, top + TextConsole::Get().rowHeight};
        return;
    }
    const TextConsole::Bounds b = TextConsole::TextBounds(text.View(), kTextLeft, top);
    rect = {b.left, b.top, b.right, b.bottom};
}

void MenuItem::RestartReveal(int64_t now)
{
    revealRate = DrawRevealRate();
    secondRate = DrawRevealRate();
    textShown = valueShown = 0;
    textRevealStart = valueRevealStart = now;
}

void MenuItem::Flash(int64_t now)
{
    revealRate = DrawRevealRate();
    valueShown = 0;
    valueRevealStart = now;
}

void MenuItem::Reveal(int64_t now)
{
    textShown = CharactersBy(now, textRevealStart, revealRate, text.View().size());
    if (!IsTextComplete()) {
        valueRevealStart = now;
        return;
    }
    valueShown = CharactersBy(now, valueRevealStart, revealRate, ValueText().size());
}

std::string_view MenuItem::ValueText() const
{
    switch (kind) {
    case kTextWithValue: return valueText.View();
    case kOnOff: return value ? TextConsole::Text(*value != 0 ? kOnTextId : kOffTextId) : std::string_view();
    case kChoice:
        // The front end wraps the values; one from a damaged key file or a
        // missing text shows nothing rather than reading past the texts.
        if (choiceValue && *choiceValue >= 0 && size_t(*choiceValue) < choices.size())
            return TextConsole::Text(choices[size_t(*choiceValue)]);
        return {};
    case kText: break;
    }
    return {};
}

std::string_view MenuItem::ShownValue() const { return ValueText().substr(0, size_t(valueShown)); }

void MenuItem::StepGlow(bool highlighted, float seconds)
{
    glow = highlighted ? std::min(kMaxGlow, glow + seconds) : std::max(0.0f, glow - seconds);
}

void MenuItem::Draw(int row, uint32_t colour) const
{
    const float y = kRowsTop + kRowStep * float(row);
    Text::DrawClipped(text.View(), textShown, false, kTextLeft, y, colour);
    if (IsTextComplete() && kind != kText)
        Text::DrawRightAligned(ShownValue(), kValueRight, y, colour);
}

std::array<RowPiece, 3> MenuItem::Pieces(int row) const
{
    const float y = kRowsTop + kRowStep * float(row);
    const TextConsole::Bounds b = TextConsole::TextBounds(ShownText(), kTextLeft, y);
    const float w = b.right - b.left, h = b.bottom - b.top;
    return {{{kTextLeft - h, y, kPieceDepth, h, h},
             {kTextLeft, y, kPieceDepth, w, h},
             {kTextLeft + w, y, kPieceDepth, h, h}}};
}

MenuItem* MenuItemList::At(int32_t index) { return items_.At(index); }

const MenuItem* MenuItemList::At(int32_t index) const
{
    // Only the position cache changes.
    return const_cast<List<MenuItem>&>(items_).At(index);
}

MenuItem& MenuItemList::Add(MenuItem item)
{
    nextId_ = std::max(nextId_, item.id + 1);
    item.Layout();
    return *items_.NodeValue(items_.PushBack(std::move(item)));
}

MenuItem& MenuItemList::AddText(const char* tableText)
{
    return Add(MenuItem::MakeText(MenuText::Borrowed(tableText), nextId_));
}

MenuItem& MenuItemList::AddOwnedText(std::string text)
{
    return Add(MenuItem::MakeText(MenuText::Owned(std::move(text)), nextId_));
}

MenuItem& MenuItemList::AddToggle(MenuText text, int32_t* value)
{
    MenuItem item = MenuItem::MakeText(std::move(text), nextId_);
    item.kind = MenuItem::kOnOff;
    item.value = value;
    return Add(std::move(item));
}

MenuItem& MenuItemList::AddChoice(MenuText text, int32_t* value, std::span<const uint32_t> choiceIds)
{
    MenuItem item = MenuItem::MakeText(std::move(text), nextId_);
    item.kind = MenuItem::kChoice;
    item.choiceValue = value;
    item.choices = choiceIds;
    return Add(std::move(item));
}

MenuItem& MenuItemList::Append(MenuItem item) { return Add(std::move(item)); }

void MenuItemList::Clear()
{
    items_.Clear();
    nextId_ = 0;
}

void MenuItemList::RemoveFirst()
{
    if (items_.Count() != 0)
        items_.PopFront();
}

void ScreenState::Init(uint32_t firstId, int32_t count, uint32_t title)
{
    titleId = title;
    if (firstId == 0)
        return;
    for (int32_t i = 0; i < count; ++i)
        items.AddText(StringTable::Global().Find(firstId + uint32_t(i)));
}

void ScreenState::SetCursorText(std::string newText)
{
    MenuItem* item = items.At(cursor);
    if (!item)
        return;
    item->text = MenuText::Owned(std::move(newText));
    item->Layout();
}

void ScreenState::ClearItems()
{
    items.Clear();
    cursor = 0;
    scroll = 0;
}

bool EditBuffer::Append(char c)
{
    if (text_.size() >= kLongest)
        return false;
    text_.push_back(c);
    return true;
}

void EditBuffer::DeleteLast()
{
    if (!text_.empty())
        text_.pop_back();
}
