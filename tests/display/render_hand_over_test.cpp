// The hand-over between the main loop and the render thread, without a window:
// what is stored when, which frame the render side gets, and when it is woken.

#include "display/render_hand_over.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace {

Frame uniform_frame(uint8_t value) { return Frame(kFrameBytes, value); }

// A visible model whose nodes all sit at x, with y = the node count.
NodeModel model_at(int32_t x, int32_t nodes = 3) {
    NodeModel m;
    m.set_node_count(nodes);
    for (ModelNode& n : m.nodes) n = ModelNode{x, nodes, 255};
    m.visible = true;
    return m;
}

ModelDrawSettings drawn_with(int32_t line_width, int32_t sensor_max_radius, std::vector<double> live_angles = {},
                             std::vector<double> playback_angles = {}) {
    ModelDrawSettings s;
    s.line_width = line_width;
    s.sensor_max_radius = sensor_max_radius;
    s.live_angles = std::move(live_angles);
    s.playback_angles = std::move(playback_angles);
    return s;
}

class RenderHandOverTest : public ::testing::Test {
protected:
    std::atomic<bool> stop{false};
    RenderHandOver hand_over{platform::WindowPlacement{1, 2, 3, 4}, stop};
    NodeModel live;
    NodeModel playback;
    ModelDrawSettings settings;
};

}  // namespace

TEST_F(RenderHandOverTest, ModelsAreStoredOnlyWhileTheWindowIsRegistered) {
    const NodeModel early = model_at(11);
    hand_over.publish(&early, &early, drawn_with(7, 70), uniform_frame(1));
    hand_over.take_models(live, playback, settings);
    EXPECT_FALSE(live.visible) << "no window yet: the default model stays";
    EXPECT_EQ(settings.line_width, ModelDrawSettings{}.line_width);

    hand_over.register_window();
    const NodeModel a = model_at(22, 5);
    const NodeModel b = model_at(33, 2);
    hand_over.publish(&a, &b, drawn_with(3, 40), uniform_frame(2));
    hand_over.take_models(live, playback, settings);
    ASSERT_EQ(live.nodes.size(), 5u);
    EXPECT_EQ(live.nodes[4].x, 22);
    ASSERT_EQ(playback.nodes.size(), 2u);
    EXPECT_EQ(playback.nodes[0].x, 33);
    EXPECT_EQ(settings.line_width, 3);
    EXPECT_EQ(settings.sensor_max_radius, 40);

    hand_over.withdraw_window();
    const NodeModel late = model_at(44);
    hand_over.publish(&late, &late, drawn_with(9, 90), uniform_frame(3));
    hand_over.take_models(live, playback, settings);
    EXPECT_EQ(live.nodes[0].x, 22) << "a withdrawn window gets no more models";
    EXPECT_EQ(settings.line_width, 3);
}

TEST_F(RenderHandOverTest, AMissingModelKeepsTheLastCopyAndItsAngles) {
    hand_over.register_window();
    const NodeModel a = model_at(5);
    hand_over.publish(&a, &a, drawn_with(1, 20, {10.0}, {20.0}), uniform_frame(0));
    const NodeModel b = model_at(6);
    hand_over.publish(&b, nullptr, drawn_with(1, 20, {30.0}), uniform_frame(0));
    hand_over.take_models(live, playback, settings);
    EXPECT_EQ(live.nodes[0].x, 6);
    EXPECT_EQ(settings.live_angles, std::vector<double>{30.0});
    EXPECT_EQ(playback.nodes[0].x, 5);
    EXPECT_EQ(settings.playback_angles, std::vector<double>{20.0}) << "the kept model's labels stay with it";
}

TEST_F(RenderHandOverTest, TheNewestFrameWinsAndAnOlderOneNeverReplacesIt) {
    Frame frame;
    EXPECT_FALSE(hand_over.take_frame(frame)) << "nothing handed over yet";

    hand_over.publish(nullptr, nullptr, settings, uniform_frame(10));
    hand_over.publish(nullptr, nullptr, settings, uniform_frame(20));
    ASSERT_TRUE(hand_over.take_frame(frame));
    EXPECT_EQ(frame, uniform_frame(20));

    // Posts pile up while the main loop is faster: a second take without a
    // new frame must leave the newest frame in place.
    EXPECT_FALSE(hand_over.take_frame(frame));
    EXPECT_EQ(frame, uniform_frame(20));

    hand_over.publish(nullptr, nullptr, settings, uniform_frame(30));
    ASSERT_TRUE(hand_over.take_frame(frame));
    EXPECT_EQ(frame, uniform_frame(30));
}

TEST_F(RenderHandOverTest, EachPublishPostsOnceUntilTheSemaphoreIsWithdrawn) {
    SDL_semaphore* semaphore = SDL_CreateSemaphore(0);
    ASSERT_NE(semaphore, nullptr);
    hand_over.publish(nullptr, nullptr, settings, uniform_frame(0));
    EXPECT_EQ(SDL_SemValue(semaphore), 0u) << "not registered yet";

    hand_over.register_semaphore(semaphore);
    for (int i = 0; i < 3; ++i) hand_over.publish(nullptr, nullptr, settings, uniform_frame(0));
    EXPECT_EQ(SDL_SemValue(semaphore), 3u);

    hand_over.withdraw_semaphore();
    hand_over.publish(nullptr, nullptr, settings, uniform_frame(0));
    EXPECT_EQ(SDL_SemValue(semaphore), 3u);
    SDL_DestroySemaphore(semaphore);
    // Publishing after the destruction touches nothing that is gone (the
    // address sanitizer build would stop here otherwise).
    hand_over.publish(nullptr, nullptr, settings, uniform_frame(0));
}

// A render side on a thread of its own takes frames and models while the main
// side publishes; every copy it gets must be whole (one value throughout) and
// never older than the one before. After 100 frames it withdraws and destroys
// its semaphore while the main side keeps publishing.
TEST_F(RenderHandOverTest, ConcurrentPublishingAndTakingSeeWholeCopiesInOrder) {
    std::atomic<bool> registered{false};
    std::atomic<bool> withdrawn{false};
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> backwards{0};
    hand_over.register_window();
    const NodeModel first = model_at(-1, 1);
    hand_over.publish(&first, &first, settings, uniform_frame(0));

    std::thread render([&] {
        SDL_semaphore* semaphore = SDL_CreateSemaphore(0);
        hand_over.register_semaphore(semaphore);
        registered.store(true);
        Frame frame;
        NodeModel l;
        NodeModel p;
        ModelDrawSettings s;
        int frames_taken = 0;
        int last = -1;
        while (!done.load()) {
            if (semaphore != nullptr && SDL_SemValue(semaphore) > 0) {
                SDL_SemWait(semaphore);
                if (hand_over.take_frame(frame)) {
                    ++frames_taken;
                    const bool whole = std::all_of(frame.begin(), frame.end(),
                                                   [&](uint8_t v) { return v == frame[0]; });
                    if (!whole) ++torn;
                }
            }
            hand_over.take_models(l, p, s);
            for (const ModelNode& n : l.nodes) {
                if (n.x != l.nodes[0].x || n.y != static_cast<int32_t>(l.nodes.size())) ++torn;
            }
            if (!l.nodes.empty() && l.nodes[0].x < last) ++backwards;
            if (!l.nodes.empty()) last = l.nodes[0].x;
            if (frames_taken == 100 && semaphore != nullptr) {
                hand_over.withdraw_semaphore();
                SDL_DestroySemaphore(semaphore);
                semaphore = nullptr;
                withdrawn.store(true);
            }
        }
    });

    while (!registered.load()) std::this_thread::yield();
    int after_withdrawal = 0;
    for (int i = 0; i < 2000000 && after_withdrawal < 2000; ++i) {
        NodeModel m;
        m.set_node_count(1 + i % 12);  // the lists change size, so copies reallocate
        for (ModelNode& n : m.nodes) n = ModelNode{i, static_cast<int32_t>(m.nodes.size()), 255};
        hand_over.publish(&m, &m, settings, uniform_frame(static_cast<uint8_t>(i)));
        if (withdrawn.load()) ++after_withdrawal;
    }
    done.store(true);
    render.join();

    EXPECT_TRUE(withdrawn.load()) << "the render side took 100 frames";
    EXPECT_EQ(after_withdrawal, 2000);
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(backwards.load(), 0);
}
