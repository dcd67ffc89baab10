// SPDX-License-Identifier: GPL-3.0-or-later
// Photographs the window on every background its captions can have, for
// tests/contrast.py: one image per scene, and where each caption lies in it.
#include "harness.h"

#include "formcanvas.h"
#include "picturebutton.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>

namespace {

QJsonArray visibleCaptions(Tavola &w)
{
    QJsonArray captions;
    for (QLabel *label : w.canvas()->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().trimmed().isEmpty())
            continue;
        const QRect inside = label->contentsRect().translated(label->pos());
        // Where the caption's glyphs lie: not its frame, drawn in the same colour, nor a neighbour's.
        const QRect r = label->fontMetrics()
                            .boundingRect(label->contentsRect(), int(label->alignment()), label->text().trimmed())
                            .intersected(label->contentsRect())
                            .translated(label->pos());
        captions.append(QJsonObject{
            {QStringLiteral("name"), label->objectName()},
            {QStringLiteral("text"), label->text().trimmed()},
            {QStringLiteral("rect"), QJsonArray{r.x(), r.y(), r.width(), r.height()}},
            {QStringLiteral("inside"), QJsonArray{inside.x(), inside.y(), inside.width(), inside.height()}},
            {QStringLiteral("fore"), label->palette().color(QPalette::WindowText).name()},
        });
    }
    // A disabled button's caption, under its picture, needs 3:1 only: it is bold, and it must still look disabled.
    for (PictureButton *button : w.canvas()->findChildren<PictureButton *>()) {
        if (!button->isVisible() || button->isEnabled())
            continue;
        const QRect face = button->geometry();
        const int below = qRound(face.height() * 0.55);
        const QRect text(face.x() + 2, face.y() + below, face.width() - 4, face.height() - below - 2);
        captions.append(QJsonObject{
            {QStringLiteral("name"), button->objectName()},
            {QStringLiteral("text"), button->text().remove(u'&')},
            {QStringLiteral("rect"), QJsonArray{text.x(), text.y(), text.width(), text.height()}},
            {QStringLiteral("inside"), QJsonArray{text.x(), text.y(), text.width(), text.height()}},
            {QStringLiteral("fore"), button->palette().color(QPalette::Disabled, QPalette::ButtonText).name()},
            {QStringLiteral("threshold"), 3.0},
        });
    }
    return captions;
}

void shoot(Tavola &w, const QDir &out, const QString &scene, QJsonObject &index)
{
    QApplication::processEvents();
    const QImage image = w.canvas()->grab().toImage().convertToFormat(QImage::Format_RGB888);
    image.save(out.filePath(scene + QStringLiteral(".ppm")));
    image.save(out.filePath(scene + QStringLiteral(".png")));
    index.insert(scene, visibleCaptions(w));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Tavola::installFonts();
    if (argc != 2) {
        qCritical("usage: contrastshots OUTPUT-DIRECTORY");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    QJsonObject index;

    // Each gradient from its darkest green to its lightest, with a record on the line;
    // and the lightest again drawn smaller, as on a netbook's screen.
    for (const auto &[num2, scene] : {std::pair{1, "gradient-green-20"}, std::pair{10, "gradient-green-200"},
                                      std::pair{10, "netbook-gradient-green-200"}}) {
        Harness h;
        if (QByteArrayView(scene).startsWith("netbook"))
            h.w().setDesignScale(h.w().scaleToFit(QSize(1024, 570)));
        QFile score(h.dir.filePath(QStringLiteral("atabvenr4.txt"))), name(h.dir.filePath(QStringLiteral("ntabvenr4.txt")));
        if (!score.open(QIODevice::WriteOnly) || !name.open(QIODevice::WriteOnly))
            return 1;
        score.write("12\r\n");
        name.write("Anna\r\n");
        score.close();
        name.close();
        h.random.question(num2, 7);
        h.dialogs.name = QStringLiteral("Niccol\u00f2");
        if (!h.w().load())
            return 1;
        h.w().show();
        while (h.w().lblconto->text() != startCaption())
            QApplication::processEvents();
        h.timer.fire();
        shoot(h.w(), out, QString::fromLatin1(scene), index);

        if (num2 == 1) {
            // Typing clears the gradient to grey and shows the question.
            qint16 key = '2';
            h.w().Text3_KeyPress(key);
            shoot(h.w(), out, QStringLiteral("grey-typing"), index);
            for (const auto &[answer, verdict] : {std::pair{"28", "grey-right"}, std::pair{"27", "grey-wrong"}}) {
                h.w().Text3->setText(QString::fromLatin1(answer));
                qint16 enter = 13;
                h.w().Text3_KeyPress(enter);
                shoot(h.w(), out, QString::fromLatin1(verdict), index);
            }
        }
    }

    QFile json(out.filePath(QStringLiteral("captions.json")));
    if (!json.open(QIODevice::WriteOnly))
        return 1;
    json.write(QJsonDocument(index).toJson());
    return 0;
}
