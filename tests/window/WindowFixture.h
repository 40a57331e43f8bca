#pragma once

#include "../unit/catalogue/CatalogueFixture.h"
#include "catalogue/frmMain.h"
#include "catalogue/frmModels.h"
#include "controls/cListView.h"
#include "controls/cToolbar.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <memory>

// Screenshots are kept beside the test program, as test output.
inline QString ScreenshotPath(const QString& name)
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    return folder + u'/' + name;
}

// The main window over a program folder of its own, its questions answered
// by the scripted prompt and its model browser recorded.
class WindowTest : public CatalogueTest
{
protected:
    void Open()
    {
        window = std::make_unique<frmMain>(process, &prompt);
        window->SetBrowserOpener([this](const std::optional<JsonNode>& models,
                                        const QString& display, bool isExtension,
                                        const QString& version) {
            view.browsers.push_back({models, display, isExtension, version});
        });
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T> T* Find(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    cListView* List() const { return Find<cListView>("lvBody"); }
    cToolbar* Toolbar() const { return Find<cToolbar>("tbSync"); }
    QAction* Menu(int index) const
    {
        return Find<QAction>(QStringLiteral("mnuContext%1").arg(index).toLatin1());
    }

    // Clicks a row the way a user does.
    void Click(int row, Qt::MouseButton button = Qt::LeftButton)
    {
        cListView* list = List();
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), button, {}, rect.center());
    }
    void DoubleClick(int row)
    {
        cListView* list = List();
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void TearDown() override
    {
        if (window) {
            window->State().Busy = false;
            window->close();
            window.reset();
        }
    }

    std::unique_ptr<frmMain> window;
};
