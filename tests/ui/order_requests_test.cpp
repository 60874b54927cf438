// Every order request against the golden table that the struct encoder
// (order_requests.py) wrote from the request layouts.
#include "ui_fixture.h"

#include "session/message_sizes.h"

#include <fstream>
#include <functional>
#include <map>

namespace {

using uitest::GameViewTest;

std::map<std::string, std::string> GoldenTable()
{
    std::map<std::string, std::string> rows;
    std::ifstream in(std::string(TREVOK_FIXTURES_DIR) + "/ui/order_requests.txt");
    std::string line;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            rows[line.substr(0, colon)] = line.substr(colon + 1);
    }
    return rows;
}

class OrderRequests : public GameViewTest {
protected:
    const Vec3 point_{1.5f, -2.0f, 3.25f};
};

TEST_F(OrderRequests, MatchTheGoldenTable)
{
    UiUnit& t = *trevok_;
    UiUnit& v = *vell_;
    UiUnit& target = *enemy_;
    auto all = [&] { return std::vector<UiUnit*>{trevok_.get(), vell_.get(), tovan_.get()}; };
    const std::vector<std::pair<std::string, std::function<void()>>> rows = {
        {"GroupNone", [&] { Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, {}); }},
        {"GroupOne", [&] { UiUnit* one[] = {&t}; Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, one); }},
        {"GroupThree", [&] { Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, all()); }},
        {"GroupExcluded",
         [&] {
             vell_->groupOrderExcluded_ = true;
             Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, all());
             vell_->groupOrderExcluded_ = false;
         }},
        {"GroupCtrl", [&] { Orders::SendGroupOrder(7, 0xFFFFFFFFu, GameView::OrderFlags(2), all()); }},
        {"GroupPaused",
         [&] {
             view_.paused = true;
             UiUnit* one[] = {&t};
             Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, one);
             view_.paused = false;
         }},
        {"GroupItem", [&] { UiUnit* one[] = {&t}; Orders::SendGroupOrder(7, 301, 0, one); }},
        {"Stop", [&] { Orders::Stop(t); }},
        {"AttackLocation", [&] { Orders::AttackLocation(t, point_); }},
        {"AttackTarget", [&] { Orders::AttackTarget(t, target); }},
        {"AttackLocationShift", [&] { view_.modifiers = 1; Orders::AttackLocation(t, point_); view_.modifiers = 0; }},
        {"AttackTargetShift", [&] { view_.modifiers = 1; Orders::AttackTarget(t, target); view_.modifiers = 0; }},
        {"ClearTarget", [&] { Orders::ClearTarget(t); }},
        {"Crouch", [&] { Orders::Crouch(t, 0); }},
        {"CrouchCtrl", [&] { Orders::Crouch(t, GameView::OrderFlags(2)); }},
        {"QueueAttackLocation", [&] { Orders::QueueAttackLocation(t, point_); }},
        {"QueueAttackTarget", [&] { Orders::QueueAttackTarget(t, target); }},
        {"QueueAttackLocationShift",
         [&] { view_.modifiers = 1; Orders::QueueAttackLocation(t, point_); view_.modifiers = 0; }},
        {"QueueAttackTargetShift",
         [&] { view_.modifiers = 1; Orders::QueueAttackTarget(t, target); view_.modifiers = 0; }},
        {"ClearOrders", [&] { Orders::ClearOrders(t); }},
        {"StandingOrder", [&] { Orders::SendStandingOrder(t, 3); }},
        {"LaunchProjectile", [&] { Orders::LaunchProjectile(t, point_); }},
        {"MotionState",
         [&] {
             t.position_ = {4, 0, 5};
             t.destination_ = {6, 0, 7};
             t.destinationNode_ = 0xAB000009u; // the top byte is not sent
             Orders::SendMotionState(t);
         }},
        {"SelectionAttackCtrl",
         [&] {
             Selection::Add(&t);
             Selection::Add(&v);
             Selection::OrderAttackTarget(target, GameView::OrderFlags(2));
             Selection::Clear();
         }},
        {"SelectionAttackPaused",
         [&] {
             Selection::Add(&t);
             Selection::Add(&v);
             view_.paused = true;
             Selection::OrderAttackLocation(point_, 0);
             view_.paused = false;
             Selection::Clear();
         }},
        {"SelectionAttackQuickWeapon",
         [&] {
             Selection::Add(&t);
             Selection::Add(&v);
             v.quickWeapon.on = true;
             Selection::SetQuickWeaponMode(true);
             Selection::OrderAttackTarget(target, 0);
             Selection::SetQuickWeaponMode(false);
             v.quickWeapon.on = false;
             Selection::Clear();
         }},
        {"SelectionClearOrders",
         [&] {
             Selection::Add(&t);
             Selection::Add(&v);
             Selection::ClearOrders();
             Selection::Clear();
         }},
    };
    const auto golden = GoldenTable();
    ASSERT_EQ(golden.size(), rows.size()) << "fixture rows";
    for (const auto& [name, action] : rows) {
        Drain();
        action();
        const auto it = golden.find(name);
        ASSERT_NE(it, golden.end()) << name;
        EXPECT_EQ(Drain(), it->second) << name;
    }
}

// Every request the orders send fits the size table the server checks.
TEST_F(OrderRequests, FitTheServersSizeTable)
{
    UiUnit& t = *trevok_;
    Orders::Stop(t);
    Orders::AttackTarget(t, *enemy_);
    Orders::Crouch(t, 1);
    Orders::SendMotionState(t);
    UiUnit* one[] = {&t};
    Orders::SendGroupOrder(3, 0xFFFFFFFFu, 0, one);
    for (;;) {
        GameMessage m = ClientToServerQueue.Pop();
        if (m.Size() == 0)
            break;
        EXPECT_TRUE(MessageSizes::Fits(MessageSizes::Direction::kToServer, {m.Data(), m.Size()}));
    }
}

// Local order lists: unqueued moves empty them, Ctrl keeps them; an
// excluded member keeps its own; Undo removes the last order that is not a
// hold; a queued crouch is appended.
TEST_F(OrderRequests, LocalOrderLists)
{
    const std::vector<UiUnit::LocalOrder> some = {{Orders::kOrderHold, false}, {Orders::kOrderAttackTarget, false}};
    std::vector<UiUnit*> group = {trevok_.get(), vell_.get()};
    for (UiUnit* u : group)
        u->orders_ = some;
    vell_->groupOrderExcluded_ = true;
    Orders::SendGroupOrder(1, 0xFFFFFFFFu, GameView::OrderFlags(2), group);
    EXPECT_EQ(trevok_->orders_, some);
    Orders::SendGroupOrder(1, 0xFFFFFFFFu, 0, group);
    EXPECT_TRUE(trevok_->orders_.empty());
    EXPECT_EQ(vell_->orders_, some);

    tovan_->orders_ = {{Orders::kOrderAttackTarget, false}, {Orders::kOrderHold, false}};
    Orders::ClearOrders(*tovan_);
    EXPECT_EQ(tovan_->orders_, (std::vector<UiUnit::LocalOrder>{{Orders::kOrderHold, false}}));
    Orders::Crouch(*tovan_, 1);
    EXPECT_EQ(tovan_->orders_.back().kind, Orders::kOrderCrouch);

    view_.modifiers = 1;
    trevok_->normalAimHeight_ = 2.0f;
    Orders::AttackTarget(*trevok_, *enemy_);
    EXPECT_FLOAT_EQ(trevok_->aimHeight_, 1.3f);
}

} // namespace
