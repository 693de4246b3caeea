#include "TestSupport.h"

#include "workspace/PlaybackNavigationShortcutMonitor.h"
#include "workspace/TrackListShortcutMonitor.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>
#include <QTextEdit>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace varno;

namespace {

// The window is active with nothing open over it, focus on the song list.
constexpr ShortcutContext kSongListFocused {true, false, false, FocusKind::Other};

ShortcutContext with(std::function<void(ShortcutContext&)> change)
{
    ShortcutContext context = kSongListFocused;
    change(context);
    return context;
}

const ShortcutContext kInactiveWindow = with([](auto& c) { c.isActiveWindow = false; });
const ShortcutContext kDialogOpen = with([](auto& c) { c.hasAttachedDialog = true; });
const ShortcutContext kModalOpen = with([](auto& c) { c.applicationShowsModal = true; });
const ShortcutContext kTextFocused = with([](auto& c) { c.focus = FocusKind::TextInput; });
const ShortcutContext kControlFocused = with([](auto& c) { c.focus = FocusKind::Control; });

constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;
constexpr Qt::KeyboardModifiers kMeta = Qt::MetaModifier;

struct PlaybackKeyCase {
    const char* name;
    KeyPress press;
    ShortcutContext context;
    bool canPlayPrevious;
    bool canPlayNext;
    PlaybackNavigationShortcut expected;
};

class PlaybackKeyTest : public ::testing::TestWithParam<PlaybackKeyCase> { };

TEST_P(PlaybackKeyTest, DecidesAndRunsOnlyWhatItConsumes)
{
    const PlaybackKeyCase& c = GetParam();
    EXPECT_EQ(playbackNavigationShortcut(c.press, c.context, c.canPlayPrevious, c.canPlayNext), c.expected);

    QStringList ran;
    PlaybackNavigationShortcutMonitor monitor;
    monitor.update({c.canPlayPrevious, c.canPlayNext, [&] { ran << "previous"; }, [&] { ran << "next"; }});
    const bool consumed = monitor.handleKeyPress(c.press, c.context);
    EXPECT_EQ(consumed, c.expected != PlaybackNavigationShortcut::PassOn);
    const QStringList expectedRuns = c.expected == PlaybackNavigationShortcut::PlayPrevious ? QStringList {"previous"}
        : c.expected == PlaybackNavigationShortcut::PlayNext                                ? QStringList {"next"}
                                                                                            : QStringList {};
    EXPECT_EQ(ran, expectedRuns);
}

constexpr auto Next = PlaybackNavigationShortcut::PlayNext;
constexpr auto Previous = PlaybackNavigationShortcut::PlayPrevious;
constexpr auto PassOn = PlaybackNavigationShortcut::PassOn;

INSTANTIATE_TEST_SUITE_P(
    Keys, PlaybackKeyTest,
    ::testing::Values(
        PlaybackKeyCase {"RightPlaysNext", {Qt::Key_Right, kNone, false}, kSongListFocused, true, true, Next},
        PlaybackKeyCase {"LeftPlaysPrevious", {Qt::Key_Left, kNone, false}, kSongListFocused, true, true, Previous},
        PlaybackKeyCase {"NumberPadArrow", {Qt::Key_Right, Qt::KeypadModifier, false}, kSongListFocused, true, true, Next},
        PlaybackKeyCase {"RightWithNothingNext", {Qt::Key_Right, kNone, false}, kSongListFocused, true, false, PassOn},
        PlaybackKeyCase {"LeftWithNothingPlayed", {Qt::Key_Left, kNone, false}, kSongListFocused, false, true, PassOn},
        PlaybackKeyCase {"HeldKeyRepeats", {Qt::Key_Right, kNone, true}, kSongListFocused, true, true, PassOn},
        PlaybackKeyCase {"Shift", {Qt::Key_Right, kShift, false}, kSongListFocused, true, true, PassOn},
        PlaybackKeyCase {"Alt", {Qt::Key_Right, kAlt, false}, kSongListFocused, true, true, PassOn},
        PlaybackKeyCase {"Ctrl", {Qt::Key_Left, kCtrl, false}, kSongListFocused, true, true, PassOn},
        PlaybackKeyCase {"Meta", {Qt::Key_Left, kMeta, false}, kSongListFocused, true, true, PassOn},
        PlaybackKeyCase {"SearchFieldFocused", {Qt::Key_Right, kNone, false}, kTextFocused, true, true, PassOn},
        PlaybackKeyCase {"SliderFocused", {Qt::Key_Right, kNone, false}, kControlFocused, true, true, PassOn},
        PlaybackKeyCase {"WindowInactive", {Qt::Key_Right, kNone, false}, kInactiveWindow, true, true, PassOn},
        PlaybackKeyCase {"DialogOpen", {Qt::Key_Right, kNone, false}, kDialogOpen, true, true, PassOn},
        PlaybackKeyCase {"ModalOpen", {Qt::Key_Left, kNone, false}, kModalOpen, true, true, PassOn},
        PlaybackKeyCase {"OtherKey", {Qt::Key_Up, kNone, false}, kSongListFocused, true, true, PassOn}),
    [](const auto& info) { return std::string(info.param.name); });

struct TrackListKeyCase {
    const char* name;
    KeyPress press;
    ShortcutContext context;
    TrackListShortcut expected;
};

class TrackListKeyTest : public ::testing::TestWithParam<TrackListKeyCase> { };

TEST_P(TrackListKeyTest, DecidesAndRunsOnlyWhatItConsumes)
{
    const TrackListKeyCase& c = GetParam();
    QStringList ran;
    TrackListShortcutMonitor monitor;
    monitor.update({true, true, true, true, [&] { ran << "select all"; }, [&] { ran << "deselect all"; }, [&] { ran << "edit"; }});
    EXPECT_EQ(trackListShortcut(c.press, c.context, monitor.configuration()), c.expected);
    EXPECT_EQ(monitor.handleKeyPress(c.press, c.context), c.expected != TrackListShortcut::PassOn);
    EXPECT_EQ(ran.size(), c.expected == TrackListShortcut::PassOn ? 0 : 1);
}

constexpr auto SelectAll = TrackListShortcut::SelectAll;
constexpr auto DeselectAll = TrackListShortcut::DeselectAll;
constexpr auto Edit = TrackListShortcut::EditSelection;
constexpr auto ListPassOn = TrackListShortcut::PassOn;

INSTANTIATE_TEST_SUITE_P(
    Keys, TrackListKeyTest,
    ::testing::Values(
        TrackListKeyCase {"CtrlA", {Qt::Key_A, kCtrl, false}, kSongListFocused, SelectAll},
        TrackListKeyCase {"MetaA", {Qt::Key_A, kMeta, false}, kSongListFocused, SelectAll},
        TrackListKeyCase {"AltIsIgnored", {Qt::Key_A, kCtrl | kAlt, false}, kSongListFocused, SelectAll},
        TrackListKeyCase {"RepeatCounts", {Qt::Key_A, kCtrl, true}, kSongListFocused, SelectAll},
        TrackListKeyCase {"ButtonFocused", {Qt::Key_A, kCtrl, false}, kControlFocused, SelectAll},
        TrackListKeyCase {"DialogOpenButWindowActive", {Qt::Key_A, kCtrl, false}, kDialogOpen, SelectAll},
        TrackListKeyCase {"CtrlShiftA", {Qt::Key_A, kCtrl | kShift, false}, kSongListFocused, DeselectAll},
        TrackListKeyCase {"MetaShiftA", {Qt::Key_A, kMeta | kShift, false}, kSongListFocused, DeselectAll},
        TrackListKeyCase {"CtrlE", {Qt::Key_E, kCtrl, false}, kSongListFocused, Edit},
        TrackListKeyCase {"CtrlAltE", {Qt::Key_E, kCtrl | kAlt, false}, kSongListFocused, Edit},
        TrackListKeyCase {"MetaEIsNotEdit", {Qt::Key_E, kMeta, false}, kSongListFocused, ListPassOn},
        TrackListKeyCase {"CtrlShiftE", {Qt::Key_E, kCtrl | kShift, false}, kSongListFocused, ListPassOn},
        TrackListKeyCase {"CtrlMetaA", {Qt::Key_A, kCtrl | kMeta, false}, kSongListFocused, ListPassOn},
        TrackListKeyCase {"BareA", {Qt::Key_A, kNone, false}, kSongListFocused, ListPassOn},
        TrackListKeyCase {"ShiftA", {Qt::Key_A, kShift, false}, kSongListFocused, ListPassOn},
        TrackListKeyCase {"TextFieldFocused", {Qt::Key_A, kCtrl, false}, kTextFocused, ListPassOn},
        TrackListKeyCase {"WindowInactive", {Qt::Key_A, kCtrl, false}, kInactiveWindow, ListPassOn}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrackListShortcutTest, EachActionNeedsItsFlagAndTheMonitorEnabled)
{
    TrackListShortcutConfiguration configuration {true, true, true, true, {}, {}, {}};
    const KeyPress selectAll {Qt::Key_A, kCtrl, false};
    const KeyPress deselectAll {Qt::Key_A, kCtrl | kShift, false};
    const KeyPress edit {Qt::Key_E, kCtrl, false};
    configuration.canSelect = false;
    EXPECT_EQ(trackListShortcut(selectAll, kSongListFocused, configuration), ListPassOn);
    configuration.canDeselect = false;
    EXPECT_EQ(trackListShortcut(deselectAll, kSongListFocused, configuration), ListPassOn);
    configuration.canEdit = false;
    EXPECT_EQ(trackListShortcut(edit, kSongListFocused, configuration), ListPassOn);
    configuration = {false, true, true, true, {}, {}, {}};
    EXPECT_EQ(trackListShortcut(selectAll, kSongListFocused, configuration), ListPassOn);

    // The latest configuration is the one acted on.
    TrackListShortcutMonitor monitor;
    int selected = 0;
    monitor.update({true, false, false, false, [&] { ++selected; }, {}, {}});
    EXPECT_FALSE(monitor.handleKeyPress(selectAll, kSongListFocused));
    monitor.update({true, true, false, false, [&] { ++selected; }, {}, {}});
    EXPECT_TRUE(monitor.handleKeyPress(selectAll, kSongListFocused));
    EXPECT_EQ(selected, 1);
}

TEST(ShortcutContextTest, FocusKindsOfWidgets)
{
    QComboBox editable;
    editable.setEditable(true);
    struct Case {
        std::unique_ptr<QWidget> widget;
        FocusKind expected;
    };
    Case cases[] = {
        {std::make_unique<QLineEdit>(), FocusKind::TextInput},   {std::make_unique<QTextEdit>(), FocusKind::TextInput},
        {std::make_unique<QSpinBox>(), FocusKind::TextInput},    {std::make_unique<QSlider>(), FocusKind::Control},
        {std::make_unique<QPushButton>(), FocusKind::Control},   {std::make_unique<QComboBox>(), FocusKind::Control},
        {std::make_unique<QTableView>(), FocusKind::Other},      {std::make_unique<QWidget>(), FocusKind::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(focusKindOf(c.widget.get()), c.expected) << c.widget->metaObject()->className();
    EXPECT_EQ(focusKindOf(&editable), FocusKind::TextInput);
    EXPECT_EQ(focusKindOf(nullptr), FocusKind::Other);
}

TEST(ShortcutContextTest, ReadsTheMonitorsWindowAndTheKeyPress)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* table = new QTableView;
    auto* search = new QLineEdit;
    layout->addWidget(table);
    layout->addWidget(search);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    search->setFocus();
    ShortcutContext context = ShortcutContext::of(table);
    EXPECT_TRUE(context.isActiveWindow);
    EXPECT_FALSE(context.applicationShowsModal);
    EXPECT_EQ(context.focus, FocusKind::TextInput);
    table->setFocus();
    EXPECT_EQ(ShortcutContext::of(table).focus, FocusKind::Other);

    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.show();
    context = ShortcutContext::of(table);
    EXPECT_TRUE(context.applicationShowsModal);
    EXPECT_TRUE(context.hasAttachedDialog);
    sheet.hide();

    const QKeyEvent event(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier, QString(), true);
    const KeyPress press = KeyPress::from(event);
    EXPECT_EQ(press.key, Qt::Key_Right);
    EXPECT_EQ(press.modifiers, Qt::ShiftModifier);
    EXPECT_TRUE(press.isAutoRepeat);
    EXPECT_EQ(ShortcutContext::of(nullptr).isActiveWindow, false);
}

} // namespace
