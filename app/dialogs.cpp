// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

static const QString kTitle = QStringLiteral("Garivolo");

#ifdef GARIVOLO_BENCH_MARKERS
#include <QEvent>
#include <cstdio>
#include <ctime>

namespace {
// Prints when the name prompt first shows, so start-up can be timed from outside the program.
class ShownMarker : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("garivolo-marker prompt %lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            watched->removeEventFilter(this);
        }
        return false;
    }
};
} // namespace
#endif

QtDialogs::QtDialogs(QWidget *parent)
    : m_parent(parent)
{
}

QString QtDialogs::inputBox(const QString &prompt)
{
    QInputDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("inputBox"));
    dialog.setWindowTitle(kTitle);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
#ifdef GARIVOLO_BENCH_MARKERS
    ShownMarker marker;
    dialog.installEventFilter(&marker);
#endif
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

void QtDialogs::msgBox(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("msgBox"));
    box.exec();
}

void QtDialogs::errorBox(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("errorBox"));
    box.exec();
}
