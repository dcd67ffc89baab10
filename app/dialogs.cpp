// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs.h"

#include "recordstore.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

static const QString kTitle = QStringLiteral("Garivolo");

#ifdef GARIVOLO_BENCH_MARKERS
#include "shownmarker.h"
#endif

QtDialogs::QtDialogs(QWidget *parent)
    : m_parent(parent)
{
}

void QtDialogs::scaleBox(QWidget &box) const
{
    const qreal scale = m_scale ? m_scale() : 1.0;
    if (scale <= 1.0)
        return;
    // On the projector the boxes are read from the back of the class, as the window is.
    QFont font = QApplication::font(&box);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    else
        font.setPixelSize(qRound(font.pixelSize() * scale));
    box.setFont(font);
}

QString QtDialogs::inputBox(const QString &prompt)
{
    QInputDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("inputBox"));
    dialog.setWindowTitle(kTitle);
    dialog.setLabelText(prompt);
    dialog.setTextValue(QString());
    // The box asks for the child's name, which the record keeps whole up to
    // its bound: a line edit's own limit would cut a longer one silently.
    // Room for the longest name in UTF-16 (two units to a character outside
    // the BMP) and for one character more, so that a longer name is still
    // told apart and refused, not cut to fit.
    if (auto *line = dialog.findChild<QLineEdit *>())
        line->setMaxLength(int(2 * (kMaxNameCharacters + 1)));
    scaleBox(dialog);
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
    // The greeting holds the name exactly as the child typed it.
    box.setTextFormat(Qt::PlainText);
    scaleBox(box);
    box.exec();
}

void QtDialogs::errorBox(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("errorBox"));
    box.setTextFormat(Qt::PlainText);
    scaleBox(box);
    box.exec();
}
