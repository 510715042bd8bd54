// A main window on settings of the test's own, shown offscreen, whose message
// boxes the test answers: Yes to a question and OK to the rest, unless ANSWER
// says otherwise. What the boxes said is kept.
#pragma once

#include "app/frmbase.h"
#include "settings/store/store.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QComboBox>
#include <QPointer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<SettingsStore>(QString::fromStdString(dir / "settings.ini"));
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

    void fill(const std::string& source, const std::string& destination)
    {
        window->cmbSrc->setEditText(QString::fromStdString(source));
        window->cmbDst->setEditText(QString::fromStdString(destination));
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
