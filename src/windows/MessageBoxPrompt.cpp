#include "MessageBoxPrompt.h"

#include "startup/Trace.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

const QString kProgramTitle = QStringLiteral("Tovarinth");

struct ButtonAnswer
{
    QMessageBox::StandardButton button;
    int32_t answer; // the Windows number
};

std::vector<ButtonAnswer> ButtonsFor(int32_t style)
{
    switch (style & 0x7) {
    case 1:
        return {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
    case 2:
        return {{QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}};
    case 3:
        return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}, {QMessageBox::Cancel, 2}};
    case 4:
        return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}};
    case 5:
        return {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}};
    default:
        return {{QMessageBox::Ok, 1}};
    }
}

QMessageBox::Icon IconFor(int32_t style)
{
    switch (style & 0x70) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int32_t MessageBoxPrompt::MsgBox(const QString& text, int32_t style, const QString& title)
{
    // What the box says, for the end-to-end tests that see it only as pixels
    // (percent-encoded: one word per trace event).
    Trace::Mark(
        QStringLiteral("message-box:") +
        QString::fromLatin1(QUrl::toPercentEncoding(title.isEmpty() ? kProgramTitle : title)) +
        u':' + QString::fromLatin1(QUrl::toPercentEncoding(text)));
    QMessageBox box(IconFor(style), title.isEmpty() ? kProgramTitle : title, text,
                    QMessageBox::NoButton, parent_);
    const std::vector<ButtonAnswer> buttons = ButtonsFor(style);
    for (const ButtonAnswer& b : buttons) {
        QPushButton* button = box.addButton(b.button);
        // Each new box gets new icons on its buttons, and each new icon, once
        // painted, stays in Qt's pixmap cache under a key of its own until
        // the cache's 10 MiB are full: a few KiB for every box of a day's
        // work. One icon per kind of button keeps one entry.
        if (button && !button->icon().isNull())
            button->setIcon(buttonIcons_.try_emplace(b.button, button->icon()).first->second);
    }
    box.setDefaultButton(buttons.front().button);
    // The close box answers like Cancel where there is one, else like the only button.
    box.setEscapeButton(buttons.size() == 1  ? buttons.front().button
                        : (style & 0x7) == 4 ? QMessageBox::No
                                             : QMessageBox::Cancel);
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const ButtonAnswer& b : buttons)
        if (b.button == pressed)
            return b.answer;
    return buttons.size() == 1 ? buttons.front().answer : 2;
}

QString MessageBoxPrompt::InputBox(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, title.isEmpty() ? kProgramTitle : title,
                                               prompt, QLineEdit::Password, QString(), &ok);
    return ok ? text : QString();
}

void MessageBoxPrompt::OpenUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

MessageBoxPrompt::~MessageBoxPrompt()
{
    delete fileDialog_; // null when the window took it along
}

QString MessageBoxPrompt::OpenFileName(const QString& title, const QString& filter)
{
    // One dialog for the window's life. It opens again in the folder the last
    // archive came from, and its file model and icons are made once: a new
    // dialog for every choice left some 45 KB in use after each.
    if (!fileDialog_) {
        fileDialog_ = new QFileDialog(parent_);
        fileDialog_->setFileMode(QFileDialog::ExistingFile);
        fileDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    }
    fileDialog_->setWindowTitle(title);
    fileDialog_->setNameFilter(filter);
    // The name field starts empty, as the first time (selectFile ignores an
    // empty name; the field is Qt's own, named in its dialog's form).
    if (auto* name = fileDialog_->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->clear();
    if (fileDialog_->exec() != QDialog::Accepted)
        return {};
    const QString path = fileDialog_->selectedFiles().value(0);
    // A path typed in full does not move the dialog: the next choice starts
    // where this file was.
    fileDialog_->setDirectory(QFileInfo(path).absolutePath());
    return path;
}
