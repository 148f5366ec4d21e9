#include "app/RocketQML.h"
#include "app/TrackQML.h"

#include "platform/Clock.h"
#include "state/ActiveSkeneList.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"
#include "support/LogCapture.h"
#include "support/QtTestApp.h"
#include "support/SyncEditorPeer.h"
#include "support/TempDemo.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Each property twice, as authors write them: once following its track
// through a source, once through the script binding it replaces. Sources
// come before and after their bindings, on C++ float (Rot.d), double
// (Item.x), MEMBER (ShaderParam.paramValue) and QML-declared real, int and
// bool properties.
const char* const kSkene = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    Rot { objectName: "srcRot"; Track on d { name: "intro.spin" } }
    Rot { objectName: "bindRot"; d: rocket.syncUpdate + rocket.sync("intro.spin") }
    Item { objectName: "bindX"; x: rocket.syncUpdate + rocket.sync("intro.glow") * -4 + 1 }
    Item { objectName: "srcX"; Track on x { name: "intro.glow"; scale: -4; offset: 1 } }
    ShaderParam {
        objectName: "srcParam"; paramName: "glow"
        Track on paramValue { name: "intro.glow"; scale: 2.5; offset: 0.5 }
    }
    ShaderParam {
        objectName: "bindParam"; paramName: "glow"
        paramValue: (rocket.syncUpdate + rocket.sync("intro.glow")) * 2.5 + 0.5
    }
    Item {
        objectName: "bindQml"
        property real r: rocket.syncUpdate + rocket.sync("intro.spin")
        property int i: (rocket.syncUpdate + rocket.sync("intro.spin")) * 3
        property bool b: rocket.syncUpdate + rocket.sync("intro.glow")
    }
    Item {
        objectName: "srcQml"
        property real r
        property int i: 99
        property bool b: true
        Track on r { name: "intro.spin" }
        Track on i { name: "intro.spin"; scale: 3 }
        Track on b { name: "intro.glow" }
    }
    Rocket { id: rocket; objectName: "rocket" }
}
)";

struct Pair {
    const char* source;
    const char* binding;
    const char* property;
};
const Pair kPairs[] = {
    {"srcRot", "bindRot", "d"},        {"srcX", "bindX", "x"},       {"srcParam", "bindParam", "paramValue"},
    {"srcQml", "bindQml", "r"},        {"srcQml", "bindQml", "i"},   {"srcQml", "bindQml", "b"},
};

// Keys of every shape, with fractions an int property must cut and values
// that cross zero for the bool one.
struct Key {
    int32_t row;
    float value;
    uint8_t type; // 0 step, 1 linear, 2 smooth, 3 ramp
};
const std::vector<Key> kSpin = {{0, -1.7f, 1}, {10, 5.3f, 2}, {20, 2.6f, 3}, {30, -0.4f, 0}};
const std::vector<Key> kGlow = {{0, 0.0f, 0}, {4, 1.0f, 1}, {14, -0.25f, 2}, {24, 0.0f, 0}};

std::string trackFile(const std::vector<Key>& keys)
{
    std::string bytes(4 + keys.size() * 9, '\0');
    const int32_t n = int32_t(keys.size());
    std::memcpy(&bytes[0], &n, 4);
    for (size_t k = 0; k < keys.size(); ++k) {
        char* at = &bytes[4 + k * 9];
        std::memcpy(at, &keys[k].row, 4);
        std::memcpy(at + 4, &keys[k].value, 4);
        at[8] = char(keys[k].type);
    }
    return bytes;
}

struct TrackSource : FreshStateTest {
    void SetUp() override
    {
        ensureQtApp();
        activeSkeneList().entries = {{"intro", 0}};
        timeState().music = std::make_unique<Music>();
        ASSERT_TRUE(timeState().music->load(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3"));
        timeState().music->set_paused(true);
    }

    void load(const char* qml = kSkene)
    {
        engine = std::make_unique<QQmlEngine>();
        QQmlComponent component(engine.get());
        component.setData(qml, QUrl::fromLocalFile("/track-test/Skene.qml"));
        root.reset(qobject_cast<QQuickItem*>(component.create()));
        ASSERT_TRUE(root) << component.errorString().toStdString();
        controller = root->findChild<RocketQML*>("rocket");
        ASSERT_TRUE(controller);
    }

    // What the demo's frame does first: the controller polls the editors,
    // fixes the row, writes the sources and re-runs the bindings.
    void frame() { controller->render(nullptr); }

    // Every source against its binding after the frame, at what row.
    void expectSameAsBindings(const std::string& when)
    {
        for (const Pair& p : kPairs) {
            const QVariant source = root->findChild<QObject*>(p.source)->property(p.property);
            const QVariant binding = root->findChild<QObject*>(p.binding)->property(p.property);
            EXPECT_EQ(source, binding) << p.source << "." << p.property << " " << when << ": "
                                       << source.toString().toStdString() << " against "
                                       << binding.toString().toStdString();
        }
    }

    // A capture's fixed step through the keys: rows between keys too.
    void playThroughTheKeys()
    {
        Rocket& rocket = Rocket::instance();
        rocket.use_fixed_step(1000.0 / 60.0);
        rocket.set_demo_loaded(true);
        rocket.on_pause(false);
        const double rowRate = rocket.row_rate();
        for (double row = 0.0; row < 34.0; row += 0.37) {
            rocket.hold_at(row / rowRate);
            frame();
            ASSERT_NEAR(rocket.eval_row(), row, 1e-6);
            expectSameAsBindings("playing at row " + std::to_string(row));
        }
        rocket.use_fixed_step(0.0);
    }

    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<QQuickItem> root;
    RocketQML* controller = nullptr;
};

} // namespace

TEST_F(TrackSource, FollowsLiveKeysAsTheBindingDoesOverAScrubAndPlayback)
{
    SyncEditorPeer peer;
    Rocket& rocket = Rocket::instance();
    rocket.set_base_port(peer.port());
    ASSERT_TRUE(rocket.create_rocket(true, peer.port()));
    ASSERT_TRUE(peer.waitForConnections(1));
    load();
    frame();
    // The demo asks for each track once, whoever reads it first.
    std::vector<std::string> asked;
    for (int i = 0; i < 500 && asked.size() < 2; ++i) {
        platform::sleepMilliseconds(5);
        asked.clear();
        for (const auto& c : peer.commands()) {
            if (c.cmd == SyncCommand::GET_TRACK)
                asked.push_back(c.name);
        }
    }
    ASSERT_EQ(asked.size(), 2u);
    for (uint32_t index = 0; index < asked.size(); ++index) {
        for (const Key& k : asked[index] == "intro.spin" ? kSpin : kGlow)
            ASSERT_TRUE(peer.sendSetKey(index, k.row, k.value, k.type));
    }
    const uint32_t keyCount = uint32_t(kSpin.size() + kGlow.size());
    for (int i = 0; i < 500; ++i) {
        frame();
        const SyncTrack* spin = rocket.GetSyncTrack("intro.spin");
        const SyncTrack* glow = rocket.GetSyncTrack("intro.glow");
        if (spin && glow && uint32_t(spin->num_keys + glow->num_keys) == keyCount)
            break;
        platform::sleepMilliseconds(5);
    }
    ASSERT_EQ(uint32_t(rocket.GetSyncTrack("intro.spin")->num_keys + rocket.GetSyncTrack("intro.glow")->num_keys),
              keyCount);

    for (int32_t row = 0; row <= 32; row += 1) {
        ASSERT_TRUE(peer.sendSetRow(row));
        for (int i = 0; i < 500 && rocket.eval_row() != double(row); ++i) {
            platform::sleepMilliseconds(2);
            frame();
        }
        ASSERT_EQ(rocket.eval_row(), double(row));
        expectSameAsBindings("scrubbed to row " + std::to_string(row));
    }
    // A value the edit view sets wins over the track, for both.
    rocket.set_temp_value("intro.spin", 7.75f);
    frame();
    EXPECT_EQ(root->findChild<QObject*>("srcRot")->property("d").toFloat(), 7.75f);
    expectSameAsBindings("with a temporary value");
    rocket.clear_temp_values();
    playThroughTheKeys();
}

TEST_F(TrackSource, FollowsTrackFilesAsTheBindingDoesAndWritesOnlyWhatMoved)
{
    TempDemo demo;
    demo.write("sync/sync_intro.spin.track", trackFile(kSpin));
    demo.write("sync/sync_intro.glow.track", trackFile(kGlow));
    demo.enter();
    ASSERT_TRUE(Rocket::instance().create_rocket(false, Rocket::instance().base_port()));
    load();
    playThroughTheKeys();

    // Held on one row, a source writes nothing more: the item sees no
    // change signal frame after frame. (The capture's clock holds the row
    // exactly; a paused music's position may still settle.)
    Rocket& rocket = Rocket::instance();
    rocket.use_fixed_step(1000.0 / 60.0);
    rocket.hold_at(12.5 / rocket.row_rate());
    frame();
    const double heldRow = rocket.eval_row();
    QObject* src = root->findChild<QObject*>("srcQml");
    QSignalSpy changes(src, SIGNAL(rChanged()));
    for (int i = 0; i < 5; ++i)
        frame();
    ASSERT_EQ(rocket.eval_row(), heldRow);
    EXPECT_EQ(changes.count(), 0);
    rocket.use_fixed_step(0.0);

    // A name, scale or offset set later takes effect at once.
    TrackQML* source = nullptr;
    for (TrackQML* t : src->findChildren<TrackQML*>()) {
        if (t->name() == "intro.spin" && t->scale() == 1.0)
            source = t;
    }
    ASSERT_TRUE(source);
    const float glowNow = rocket.track_value("intro.glow");
    source->setName("intro.glow");
    EXPECT_EQ(src->property("r").toDouble(), double(glowNow));
    source->setOffset(10.0);
    EXPECT_EQ(src->property("r").toDouble(), double(glowNow) + 10.0);
}

TEST_F(TrackSource, ANameWhoseSkeneHasNoRocketLogsOnceAndReadsZero)
{
    // No rocket at all: no editor was asked for and none plays files.
    LogCapture log;
    load(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    Rot { objectName: "rot"; d: 3; Track on d { name: "intro.spin" } }
    Rocket { objectName: "rocket" }
}
)");
    for (int i = 0; i < 4; ++i)
        frame();
    EXPECT_EQ(root->findChild<QObject*>("rot")->property("d").toFloat(), 0.0f);
    int lines = 0;
    for (const std::string& line : log.lines())
        lines += line.find("intro.spin") != std::string::npos && line.find("no rocket") != std::string::npos;
    EXPECT_EQ(lines, 1);
}
