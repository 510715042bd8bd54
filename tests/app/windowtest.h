// A main window on settings of the test's own, shown offscreen, whose message
// boxes the test answers: Yes to a question and OK to the rest, unless ANSWER
// says otherwise. What the boxes said is kept. The test reaches the window's
// controls by their names, as control<QPushButton>("btnStart").
#pragma once

#include "app/accessibility.h"
#include "app/frmbase.h"
#include "app/frmest.h"
#include "settings/store/store.h"
#include "tests/support/duringcopy.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The control NAME of WINDOW; of several so named (the flight images, the
// recent files), the one whose "index" property is INDEX. Where there is none
// the test fails there and then.
template <class T = QWidget> T* findControl(const QObject& window, const char* name, int index = -1)
{
    for (T* found : window.findChildren<T*>(QLatin1String(name))) {
        if (index < 0 || found->property("index").toInt() == index)
            return found;
    }
    ADD_FAILURE() << "no control " << name << " " << index;
    throw std::logic_error(name);
}

// The estimate window, while one is open (it stands on its own, without a parent).
inline frmEst* openEstimateWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* estimate = qobject_cast<frmEst*>(widget))
            return estimate;
    }
    return nullptr;
}

// Runs ACTION once, on WINDOW's thread, after an estimate in progress has
// reported its first file: the estimate goes no further until ACTION has run.
inline void actDuringEstimate(frmBase& window, std::function<void()> action)
{
    auto first = std::make_shared<bool>(true);
    window.afterFileReported = [&window, action, first] {
        testsupport::actOnWindow(window, [action, first] {
            const frmEst* estimate = openEstimateWindow();
            if (*first && estimate && estimate->isVisible() && !estimate->bFinished) {
                *first = false;
                action();
            }
        });
    };
}

// Asks WINDOW (shown, its background automatic) to close in the middle of an
// animation step: the ticks of its background timer launch flights, and the
// close comes as a flight image moves or lands during a tick of its flight
// timer. What close() answered.
inline bool closeDuringAnimationStep(frmBase& window)
{
    struct Watcher : QObject {
        QPointer<frmBase> window;
        bool stepping = false;
        std::optional<bool> closed;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (stepping && !closed && (event->type() == QEvent::Move || event->type() == QEvent::Hide))
                closed = window->close();
            return false;
        }
    } watcher;
    watcher.window = &window;
    for (QLabel* image : window.findChildren<QLabel*>(QStringLiteral("imgFly")))
        image->installEventFilter(&watcher);
    for (int tick = 0; tick < 50 && watcher.window && !watcher.closed; ++tick) {
        emit findControl<QTimer>(window, "tmBG")->timeout({});
        watcher.stepping = true;
        emit findControl<QTimer>(window, "tmFly")->timeout({});
        watcher.stepping = false;
    }
    EXPECT_TRUE(watcher.closed) << "no flight moved";
    return watcher.closed.value_or(true);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<SettingsStore>(QString::fromStdString(dir / "settings.ini"));
        installAccessibleInterfaces(); // as the window module does as it starts
        window = new frmBase(*store);
        window->load();
        window->show();
        setMessageBoxAnswerer([this](const QString& text, int flags, const QString& title) {
            messages.push_back(text);
            titles.push_back(title);
            flagsShown.push_back(flags);
            return answer ? answer(text, flags) : ((flags & MB_YESNO) ? IDYES : IDOK);
        });
    }
    void TearDown() override
    {
        setDialogAnswerer(nullptr);
        setMessageBoxAnswerer(nullptr);
        delete window.data();
    }

    // Lets the run that the last click or key started go on to its end, as
    // the program's event loop would, and the deletes it left be done. A
    // start the window refused returns at once.
    void finishRun() { testsupport::finishRun(window); }

    template <class T = QWidget> T* control(const char* name, int index = -1) const
    {
        return findControl<T>(*window, name, index);
    }

    void fill(const std::string& source, const std::string& destination)
    {
        control<QComboBox>("cmbSrc")->setEditText(QString::fromStdString(source));
        control<QComboBox>("cmbDst")->setEditText(QString::fromStdString(destination));
    }

    // Chooses the filter in its dialog: the kind of OPTION (0 include only, 1
    // exclude), with EXTENSIONS typed for it.
    void chooseFilter(int option, const QString& extensions)
    {
        setDialogAnswerer([&](QDialog& dialog) {
            findControl<QRadioButton>(dialog, "optKind", option)->setChecked(true);
            findControl<QComboBox>(dialog, "cmbExt", option)->setEditText(extensions);
            findControl<QPushButton>(dialog, "btnOK")->click();
        });
        control<QPushButton>("btnFilter")->click();
        setDialogAnswerer(nullptr);
    }

    // Loads TEXT as a copy-set file.
    bool load(const std::string& text)
    {
        testsupport::writeFile(dir / "set.vstl", text);
        return window->bLoadCopySet(QString::fromStdString(dir / "set.vstl"));
    }

    testsupport::TempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    std::unique_ptr<SettingsStore> store;
    QPointer<frmBase> window;
    std::vector<QString> messages;
    std::vector<QString> titles;
    std::vector<int> flagsShown;
    std::function<int(const QString& text, int flags)> answer;
};
