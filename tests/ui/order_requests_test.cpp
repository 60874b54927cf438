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
    Unit& t = *trevok_;
    Unit& v = *vell_;
    Unit& target = *enemy_;
    auto all = [&] { return std::vector<WorldObject*>{trevok_, vell_, tovan_}; };
    const std::vector<std::pair<std::string, std::function<void()>>> rows = {
        {"GroupNone", [&] { Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, {}); }},
        {"GroupOne", [&] { WorldObject* one[] = {&t}; Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, one); }},
        {"GroupThree", [&] { Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, all()); }},
        {"GroupExcluded",
         [&] {
             vell_->SetStaticPlacement(true);
             Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, all());
             vell_->SetStaticPlacement(false);
         }},
        {"GroupCtrl", [&] { Orders::SendGroupOrder(7, 0xFFFFFFFFu, GameView::OrderFlags(2), all()); }},
        {"GroupPaused",
         [&] {
             view_.paused = true;
             WorldObject* one[] = {&t};
             Orders::SendGroupOrder(7, 0xFFFFFFFFu, 0, one);
             view_.paused = false;
         }},
        {"GroupItem", [&] { WorldObject* one[] = {&t}; Orders::SendGroupOrder(7, 301, 0, one); }},
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
             MotionRecord at;
             at.position = {4, 0, 5};
             t.ApplyMoving({5, 0, 6}, at, {6, 0, 7});
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
             v.Readied().readied = true;
             Selection::SetQuickWeaponMode(true);
             Selection::OrderAttackTarget(target, 0);
             Selection::SetQuickWeaponMode(false);
             v.Readied().readied = false;
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
    Unit& t = *trevok_;
    Orders::Stop(t);
    Orders::AttackTarget(t, *enemy_);
    Orders::Crouch(t, 1);
    Orders::SendMotionState(t);
    WorldObject* one[] = {&t};
    Orders::SendGroupOrder(3, 0xFFFFFFFFu, 0, one);
    for (;;) {
        GameMessage m = ClientToServerQueue.Pop();
        if (m.Size() == 0)
            break;
        EXPECT_TRUE(MessageSizes::Fits(MessageSizes::Direction::kToServer, {m.Data(), m.Size()}));
    }
}

// Local order lists: unqueued moves empty them, Ctrl and active pause keep
// them; an excluded member keeps its own; Undo removes the last order that
// is not a hold; a queued crouch is appended.
TEST_F(OrderRequests, LocalOrderLists)
{
    using ui_test::ReplicaWorld;
    const auto kinds = [](const MovingObject& unit) {
        std::vector<int32_t> out;
        for (const LocalOrder& order : unit.Orders())
            out.push_back(order.kind);
        return out;
    };
    const std::vector<int32_t> some = {LocalOrder::kHold, LocalOrder::kAttackTarget};
    std::vector<WorldObject*> group = {trevok_, vell_};
    ReplicaWorld::SetOrders(*trevok_, {LocalOrder::kHold, LocalOrder::kAttackTarget});
    ReplicaWorld::SetOrders(*vell_, {LocalOrder::kHold, LocalOrder::kAttackTarget});
    vell_->SetStaticPlacement(true);
    Orders::SendGroupOrder(1, 0xFFFFFFFFu, GameView::OrderFlags(2), group);
    EXPECT_EQ(kinds(*trevok_), some);
    view_.paused = true;
    Orders::SendGroupOrder(1, 0xFFFFFFFFu, 0, group);
    EXPECT_EQ(kinds(*trevok_), some);
    view_.paused = false;
    Orders::SendGroupOrder(1, 0xFFFFFFFFu, 0, group);
    EXPECT_TRUE(trevok_->Orders().empty());
    EXPECT_EQ(kinds(*vell_), some);

    ReplicaWorld::SetOrders(*tovan_, {LocalOrder::kAttackTarget, LocalOrder::kHold});
    Orders::ClearOrders(*tovan_);
    EXPECT_EQ(kinds(*tovan_), std::vector<int32_t>{LocalOrder::kHold});
    Orders::Crouch(*tovan_, 1);
    EXPECT_EQ(tovan_->Orders().back().kind, LocalOrder::kCrouch);
}

// Objects that cannot take an order send nothing for it.
TEST_F(OrderRequests, ObjectsWithoutTheOrderIgnoreIt)
{
    WorldObject* crate = world_->Make(301, 0, world_->NewRole("crate", 10));
    ASSERT_NE(crate, nullptr);
    Orders::Stop(*crate);
    Orders::Crouch(*crate, 0);
    Orders::AttackTarget(*crate, *enemy_);
    Orders::ClearOrders(*crate);
    Orders::SendMotionState(*crate);
    EXPECT_EQ(Drain(), "");
}

} // namespace
