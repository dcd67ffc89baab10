// SPDX-License-Identifier: GPL-3.0-or-later
#include "tavola.h"

#include "agent.h"
#include "announcer.h"
#include "checked16.h"
#include "contrast.h"
#include "controls.h"
#include "designscale.h"
#include "dialogs.h"
#include "formcanvas.h"
#include "gradient.h"
#include "halolabel.h"
#include "numberpad.h"
#include "numlett.h"
#include "picturebutton.h"
#include "randomsource.h"
#include "recordfiles.h"
#include "recordhelper.h"
#include "leadingnumber.h"
#include "praise.h"
#include "ticker.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QIcon>
#include <QIconEngine>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPixmap>
#include <QSvgRenderer>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

namespace {

const QSize kClientSize(785, 556);
const QColor kScrollBarColour(0xC8, 0xC8, 0xC8);   // the window's background
const QColor kInactiveCaptionText(0, 0, 0);         // the window's drawing colour

const QString kCharacterFile = QStringLiteral("C:\\WINDOWS\\msagent\\chars\\Merlin.acs");
const QString kIntroduction = QStringLiteral(
    "Allora attenzione, iniziamo la nostra avventura con la tabellina del 4. Io detto e tu scrivi il risultato "
    "nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e poi aspetta che io finisca di "
    "parlare e premi ancora invio per avere la domanda successiva");

QRectF twips(int left, int top, int width, int height)
{
    return QRectF(left / 15.0, top / 15.0, width / 15.0, height / 15.0);
}

QColor rgb(qint64 value)
{
    return QColor(QRgb(value));
}

QRect scaled(const QRect &rect, qreal scale)
{
    if (scale == 1.0)
        return rect;
    return QRectF(rect.x() * scale, rect.y() * scale, rect.width() * scale, rect.height() * scale).toRect();
}

// Where Merlin stands while he talks, beside the answer box, and how tall he is there.
constexpr int kMerlinLeft = 250;
constexpr int kMerlinTop = 175;
constexpr int kMerlinHeight = 205;

// The verdicts, as the verdict line shows them.
const QString kRightVerdict = QStringLiteral("Esatto. Sei forte!!!");
const QColor kRightInk(0, 0, 255);
const QColor kWrongInk(255, 0, 0);
QString wrongVerdict(const QString &result)
{
    return QStringLiteral("Sbagliato!! ") + result;
}
// How long after a question is asked its verdicts are drawn ahead: the
// question's own repaint goes first, and no child answers sooner.
constexpr int kPrepareVerdictsMs = 100;

// Tips are read by children: never smaller than this, whatever the design's scale.
constexpr int kTipPixels = 16;
// The gap kept between a long name and the control to its right.
constexpr int kNameGap = 4;

QFont designFont(const ControlSpec &spec, qreal scale)
{
    QFont font(QString::fromLatin1(spec.font ? spec.font : kDefaultFont));
    // Sizes in points at the design's 96 dots per inch: pixel sizes keep the
    // text in proportion with the fixed pixel layout on any screen.
    font.setPixelSize(qMax(1, qRound((spec.font ? spec.points : kDefaultPoints) * 96.0 / 72.0 * scale)));
    font.setBold(spec.bold);
    font.setItalic(spec.italic);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QPixmap picture(const QString &resource, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QSvgRenderer(resource).render(&painter);
    return pixmap;
}

// A picture drawn straight from its SVG at whatever size it is shown: Qt's
// own SVG icon plugin, loaded for three button pictures and the window's
// icon, would take more memory than all of them.
class SvgIcon : public QIconEngine
{
public:
    explicit SvgIcon(const QString &resource) : m_resource(resource) {}
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        QSvgRenderer(m_resource).render(painter, rect);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode, QIcon::State) override { return picture(m_resource, size); }
    QIconEngine *clone() const override { return new SvgIcon(m_resource); }

private:
    QString m_resource;
};

QIcon svgIcon(const QString &resource)
{
    return QIcon(new SvgIcon(resource));
}

// What a screen reader says before a label's caption, for captions that mean nothing alone.
constexpr std::pair<const char *, const char *> kSpokenAs[] = {
    {"lblScore", "Risposte esatte:"},
    {"lblScore1", "Risposte errate:"},
    {"lblScore2", "Risposte totali:"},
    {"lblconto", "Tempo restante:"},
    {"lblnome1", "Sfidante:"},
    {"lblnome", "Record di:"},
    {"lblpunti", "Punti del record:"},
    {"lblNum1", "Primo fattore:"},
    {"lblNum2", "Secondo fattore:"},
    {"lblMessage", "Risultato:"},
};

} // namespace

Tavola::Tavola(TavolaServices services, QWidget *parent, Controls controls)
    : QMainWindow(parent)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("Tavola"));
    setWindowTitle(QString(83, u' ') + QStringLiteral("GARIVOLO") + QString(31, u' ')
                   + QStringLiteral("garivolo@example.org") + QString(4, u' '));
    // The caption's blanks and address mean nothing read aloud.
    setAccessibleName(QStringLiteral("Garivolo"));
    setWindowIcon(svgIcon(QStringLiteral(":/pictures/icon.svg")));
    setCursor(QCursor(picture(QStringLiteral(":/pictures/pointer.svg"), QSize(48, 48)), 2, 2));

    buildMenus();
    m_canvas = new FormCanvas(kClientSize, kScrollBarColour,
                              {
                                  {"Shape1", Shape::Rectangle, twips(2880, 4920, 7335, 1335), QColor(0x00, 0xFF, 0xFF)},
                                  {"Shape2", Shape::Rectangle, twips(120, 120, 3135, 4215), QColor(0x00, 0xFF, 0xFF)},
                                  {"Shape3", Shape::Circle, twips(8510, 50, 3300, 1965), QColor(0x00, 0xFF, 0xFF)},
                                  {"Shape4", Shape::Rectangle, twips(0, 0, 3375, 4455), QColor(0x00, 0xC0, 0xC0)},
                                  {"Shape5", Shape::Circle, twips(8400, 0, 3495, 2055), QColor(0x00, 0xC0, 0xC0)},
                              },
                              nullptr);
    // The design lies on a stage of the background colour, which fills what
    // the design does not cover in full screen and holds the number pad.
    m_stage = new QWidget(this);
    m_stage->setObjectName(QStringLiteral("stage"));
    m_stage->setAutoFillBackground(true);
    QPalette stagePalette = m_stage->palette();
    stagePalette.setColor(QPalette::Window, kScrollBarColour);
    m_stage->setPalette(stagePalette);
    m_canvas->setParent(m_stage);
    m_stage->installEventFilter(this);
    setCentralWidget(m_stage);
    m_pad = new NumberPad([clock = std::make_shared<QElapsedTimer>()] {
        if (!clock->isValid())
            clock->start();
        return clock->elapsed();
    }, m_stage);
    m_pad->hide();
    connect(m_pad, &NumberPad::digitPressed, this,
            [this](int digit) { typeOnPad(Qt::Key_0 + digit, QString::number(digit)); });
    connect(m_pad, &NumberPad::erasePressed, this, [this] { typeOnPad(Qt::Key_Backspace, QStringLiteral("\b")); });
    connect(m_pad, &NumberPad::enterPressed, this, [this] { padEnter(); });
    auto *fullScreen = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(fullScreen, &QShortcut::activated, this, [this] { toggleFullScreen(); });
    QPalette canvasPalette = m_canvas->palette();
    canvasPalette.setColor(QPalette::WindowText, kInactiveCaptionText);
    m_canvas->setPalette(canvasPalette);
    // The window has its final size from the start: the name prompt is centred on it.
    setDesignScale(1.0);
    if (controls == Controls::Now)
        buildControls();
}

Tavola::~Tavola() = default;

void Tavola::installFonts()
{
    // Every caption is Italian in Latin letters, which need no shaping: laid
    // out glyph by glyph, without the shaper and the copy it keeps of each
    // font's layout tables (about a megabyte in all for the seven faces shown).
    QFont plain = QApplication::font();
    plain.setStyleStrategy(QFont::PreferNoShaping);
    QApplication::setFont(plain);
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
    // Arial Black has no free clone; Lato Black is as heavy and as clear.
    QFont::insertSubstitution(QStringLiteral("Arial Black"), QStringLiteral("Lato Black"));
}

void Tavola::buildMenus()
{
    QMenu *ven = menuBar()->addMenu(QStringLiteral("www.garivolo.example.org"));
    ven->setObjectName(QStringLiteral("ven"));
    ven->addAction(QStringLiteral("Garivolo, la tabellina del 4 per la scuola primaria"))->setObjectName(QStringLiteral("is"));

    QMenu *ciao = menuBar()->addMenu(QStringLiteral("\u00a9 Gli autori di Garivolo"));
    ciao->setObjectName(QStringLiteral("Ciao"));
    ciao->setProperty("index", 1);
    QAction *info = ciao->addAction(QStringLiteral("Progetto Garivolo, casella postale 4, Italia"));
    info->setObjectName(QStringLiteral("INFOMAZIONI"));
    info->setProperty("index", 1);
    ciao->addAction(QStringLiteral("garivolo@example.org"))->setObjectName(QStringLiteral("em"));

    menuBar()->addAction(QStringLiteral("Dedicato ai nostri alunni"))->setObjectName(QStringLiteral("comune"));
}

void Tavola::buildControls()
{
    if (Text3)
        return;
    const QCursor iconPointer(picture(QStringLiteral(":/pictures/iconpointer.svg"), QSize(32, 32)), 16, 16);
    QList<std::pair<int, QWidget *>> tabOrder;

    // Created back to front, so that each control covers the ones after it in the table.
    const auto table = controlTable();
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        const ControlSpec &spec = *it;
        QWidget *widget = nullptr;
        QPalette palette;
        switch (spec.kind) {
        case ControlSpec::TextBox: {
            auto *box = new QLineEdit(QString::fromUtf8(spec.text), m_canvas);
            if (spec.maxLength > 0)
                box->setMaxLength(spec.maxLength);
            box->setAlignment(spec.flags & ControlSpec::Centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
            if (spec.fore != ControlSpec::NoColour)
                palette.setColor(QPalette::Text, rgb(spec.fore));
            if (spec.back != ControlSpec::NoColour)
                palette.setColor(QPalette::Base, rgb(spec.back));
            box->setPalette(palette);
            widget = box;
            break;
        }
        case ControlSpec::Button: {
            if (QByteArrayView(spec.name) == "Command3") {
                widget = new QPushButton(QString::fromUtf8(spec.text), m_canvas);
                break;
            }
            auto *button = new PictureButton(QString::fromUtf8(spec.text), rgb(spec.back), m_canvas);
            if (QByteArrayView(spec.name) == "cmdNext")
                button->setPictures(svgIcon(QStringLiteral(":/pictures/face-smile.svg")),
                                    svgIcon(QStringLiteral(":/pictures/face-laugh.svg")),
                                    svgIcon(QStringLiteral(":/pictures/face-neutral.svg")));
            else
                button->setPictures(svgIcon(QStringLiteral(":/pictures/noentry.svg")));
            widget = button;
            break;
        }
        case ControlSpec::Label: {
            auto *label = new HaloLabel(QString::fromUtf8(spec.text), m_canvas);
            // Captions hold names and file contents that anyone may have written: never markup.
            label->setTextFormat(Qt::PlainText);
            label->setAlignment((spec.flags & ControlSpec::Centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
            if (spec.flags & ControlSpec::Border) {
                label->setFrameShape(QFrame::Box);
                label->setLineWidth(1);
            }
            label->setProperty("autosize", bool(spec.flags & ControlSpec::AutoSize));
            // Transparent labels let the painted background and the shapes show through.
            label->setAutoFillBackground(!(spec.flags & ControlSpec::Transparent));
            palette.setColor(QPalette::WindowText, spec.fore == ControlSpec::NoColour ? Qt::black : rgb(spec.fore));
            if (spec.back != ControlSpec::NoColour)
                palette.setColor(QPalette::Window, rgb(spec.back));
            label->setPalette(palette);
            // Light text over light shapes, the grey surface or the gradient
            // gets a halo; so does text on its own back that is too faint.
            label->setHalo((spec.flags & ControlSpec::Transparent)
                           || (spec.back != ControlSpec::NoColour
                               && contrastRatio(palette.color(QPalette::WindowText), rgb(spec.back)) < 4.5));
            widget = label;
            break;
        }
        case ControlSpec::Image: {
            // Its picture is drawn at the size it is shown, with the fonts.
            auto *image = new QLabel(m_canvas);
            image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = image;
            break;
        }
        case ControlSpec::PictureBox: {
            widget = new QWidget(m_canvas);
            widget->setAutoFillBackground(true);
            palette.setColor(QPalette::Window, rgb(spec.back));
            widget->setPalette(palette);
            break;
        }
        }
        widget->setObjectName(QString::fromLatin1(spec.name));
        widget->setVisible(!(spec.flags & ControlSpec::Hidden));
        widget->setEnabled(!(spec.flags & ControlSpec::Disabled));
        if (spec.tip)
            widget->setToolTip(QString::fromUtf8(spec.tip));
        if (spec.flags & ControlSpec::IconPointer)
            widget->setCursor(iconPointer);
        widget->setProperty("tabIndex", spec.tab);
        if (widget->focusPolicy() != Qt::NoFocus)
            tabOrder.append({spec.tab, widget});
    }

    std::sort(tabOrder.begin(), tabOrder.end(), [](auto &a, auto &b) { return a.first < b.first; });
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);

    Txtnome1 = control<QLineEdit>("Txtnome1");
    Text7 = control<QLineEdit>("Text7");
    Text6 = control<QLineEdit>("Text6");
    Text3 = control<QLineEdit>("Text3");
    Text1 = control<QLineEdit>("Text1");
    Command3 = control<QPushButton>("Command3");
    cmdNext = control<QPushButton>("cmdNext");
    cmdExit1 = control<QPushButton>("cmdExit1");
    Picture1 = control<QWidget>("Picture1");
    for (auto [name, label] : {std::pair{"lblMessage", &lblMessage}, {"lblconto", &lblconto}, {"lblNum1", &lblNum1},
                               {"Label10", &Label10}, {"lblNum2", &lblNum2}, {"Image1", &Image1},
                               {"Label11", &Label11}, {"Label14", &Label14}, {"lblnome1", &lblnome1},
                               {"Label12", &Label12}, {"lblnome", &lblnome}, {"Label13", &Label13},
                               {"lblpunti", &lblpunti}, {"Label1", &Label1}, {"Label3", &Label3},
                               {"lblScore2", &lblScore2}, {"lblScore1", &lblScore1}, {"lblScore", &lblScore},
                               {"Label6", &Label6}})
        *label = control<QLabel>(name);

    for (const auto &[name, prefix] : kSpokenAs)
        control<QLabel>(name)->setProperty("spokenAs", QString::fromUtf8(prefix));
    Text3->setAccessibleName(QStringLiteral("Scrivi qui il risultato e premi Invio"));
    // A system on-screen keyboard summoned by the answer box offers digits, and guesses no words.
    Text3->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    cmdNext->setAccessibleName(QStringLiteral("Nuovo calcolo"));
    cmdExit1->setAccessibleName(QStringLiteral("Esci"));
    Image1->setAccessibleName(QStringLiteral("Cronometro"));
    Label10->setAccessibleName(QStringLiteral("per"));
    // The verdict line goes from empty to a verdict and back: it keeps both verdicts drawn.
    control<HaloLabel>("lblMessage")->setKeptCaptions(3);

    m_announcer = new Announcer(m_canvas);

    connect(cmdNext, &QPushButton::clicked, this, [this] { runHandler([this] { cmdNext_Click(); }); });
    connect(Command3, &QPushButton::clicked, this, [this] { runHandler([this] { Command3_Click(); }); });
    connect(cmdExit1, &QPushButton::clicked, this, [this] { runHandler([this] { cmdExit1_Click(); }); });
    Text3->installEventFilter(this);

    // Before the first question the focus rests on the first control of the tab order.
    cmdExit1->setFocus();
    // Fonts, places and captions (with what screen readers say of them) follow the design's scale.
    layoutControls();
}

template <typename T>
T *Tavola::control(const char *name) const
{
    auto *widget = qobject_cast<T *>(m_canvas->findChild<QWidget *>(QString::fromLatin1(name)));
    // Only a control table out of step with the code gets here.
    if (!widget)
        qFatal("Tavola: no control %s of type %s", name, T::staticMetaObject.className());
    return widget;
}

void Tavola::setDesignScale(qreal scale)
{
    m_windowScale = scale;
    QFont tips(QString::fromLatin1(kDefaultFont));
    tips.setPixelSize(kTipPixels);
    tips.setStyleStrategy(QFont::PreferNoShaping);
    QToolTip::setFont(tips);
    if (fitted())
        return;
    applyScale(scale);
    arrange();
    QSize client = (QSizeF(kClientSize) * scale).toSize();
    if (!m_pad->isHidden())
        client = QSize(client.width() + m_pad->width(), qMax(client.height(), m_pad->height()));
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
}

void Tavola::applyScale(qreal scale)
{
    if (scale == m_scale && m_canvas->scale() == scale)
        return;
    m_scale = scale;
    m_canvas->setScale(scale);
    if (Text3) {
        layoutControls();
        prepareVerdicts();
    }
    emit designScaleChanged(scale);
}

bool Tavola::fitted() const
{
    return windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized);
}

int Tavola::minimumKey() const
{
    const QScreen *shown = screen();
    return shown ? minimumKeySide(shown->geometry().size(), shown->physicalSize()) : kDesignKeySide;
}

void Tavola::arrange()
{
    if (m_arranging)
        return;
    m_arranging = true;
    const bool padWasVisible = m_pad->isVisible();
    if (fitted()) {
        // The menu bar's type grows with the rest; its height is measured at that size.
        QFont menuFont = QApplication::font(menuBar());
        const int plainMenu = QFontMetrics(menuFont).height() + menuBar()->sizeHint().height() - menuBar()->fontMetrics().height();
        const qreal roughly = qreal(height()) / (kClientSize.height() + plainMenu);
        menuFont.setPointSizeF(menuFont.pointSizeF() * qMax(1.0, roughly));
        menuBar()->setFont(menuFont);
        const QSize room(width(), height() - menuBar()->sizeHint().height());
        const DesignFit fit = fitDesign(room, kClientSize, true, minimumKey());
        m_pendingBoxScale = 0;
        applyScale(fit.scale);
        m_canvas->setGeometry(fit.design);
        m_pad->setKeySide(fit.key);
        m_pad->move(fit.pad.topLeft());
        m_pad->show();
    } else {
        menuBar()->setFont(QFont());
        applyScale(m_windowScale);
        // As designed the client area is the design, and grows with the window without moving anything.
        m_canvas->setGeometry(m_stage->rect());
        if (m_touchScreen) {
            const QSize design = (QSizeF(kClientSize) * m_windowScale).toSize();
            m_pad->setKeySide(qMax(minimumKey(), qRound(kDesignKeySide * m_windowScale)));
            m_pad->move(design.width(), qMax(0, (design.height() - m_pad->height()) / 2));
            m_pad->show();
        } else {
            m_pad->hide();
        }
    }
    m_pad->raise();
    // Whether the answer box asks for the system's on-screen keyboard follows the pad.
    if (Text3 && Text3->hasFocus() && m_pad->isVisible() != padWasVisible)
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
    m_arranging = false;
}

void Tavola::toggleFullScreen()
{
    setWindowState(windowState() ^ Qt::WindowFullScreen);
}

void Tavola::prepareFullScreen()
{
    if (const QScreen *shown = screen()) {
        const int menu = menuBar()->sizeHint().height();
        m_pendingBoxScale = fitDesign(shown->geometry().size() - QSize(0, menu), kClientSize, true, minimumKey()).scale;
    }
}

void Tavola::setTouchScreen(bool touch)
{
    m_touchScreen = touch;
    setDesignScale(m_windowScale);
}

// A pad key reaches its target as the real key would, through the same handlers.
static void pressKey(QWidget *target, int key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

void Tavola::typeOnPad(int key, const QString &text)
{
    if (!Text3 || m_ended)
        return;
    // The pad writes at the end of the answer, as a calculator does.
    Text3->end(false);
    pressKey(Text3, key, text);
}

void Tavola::padEnter()
{
    if (m_ended)
        return;
    // Enter where the focus is: in the answer box it asks for the verdict, on "Nuovo calcolo" it presses it.
    QWidget *target = focusWidget();
    if (!target || target == m_pad || m_pad->isAncestorOf(target))
        target = Text3;
    if (!target)
        return;
    pressKey(target, Qt::Key_Return, QStringLiteral("\r"));
}

void Tavola::layoutControls()
{
    const qreal scale = m_scale;
    for (const ControlSpec &spec : controlTable()) {
        QWidget *widget = control<QWidget>(spec.name);
        widget->setGeometry(scaled(spec.pixels(), scale));
        widget->setFont(designFont(spec, scale));
        if (auto *button = qobject_cast<PictureButton *>(widget))
            button->setPictureSize(qRound(32 * scale));
    }
    const int side = qRound(32 * scale);
    Image1->setPixmap(picture(QStringLiteral(":/pictures/stopwatch.svg"), QSize(side, side)));
    // A long name stops short of the control to its right.
    const int gap = qMax(1, qRound(kNameGap * scale));
    // The challenger's name runs under the buttons' lower edge, which covers it, so only the window bounds it.
    control<HaloLabel>("lblnome1")->setElideWidth(qRound(kClientSize.width() * scale) - lblnome1->x() - gap);
    control<HaloLabel>("lblnome")->setElideWidth(Label13->x() - lblnome->x() - gap);
    // A score file planted with thousands of digits is shown as far as the window goes, like a long name.
    control<HaloLabel>("lblpunti")->setElideWidth(qRound(kClientSize.width() * scale) - lblpunti->x() - gap);
    for (const ControlSpec &spec : controlTable())
        if (spec.kind == ControlSpec::Label)
            setCaption(control<QLabel>(spec.name), control<QLabel>(spec.name)->text());
}

qreal Tavola::scaleToFit(QSize available) const
{
    return ::designScale(available, kClientSize, QSize(0, menuBar()->sizeHint().height()));
}

void Tavola::setCaption(QLabel *label, const QString &caption)
{
    label->setText(caption);
    if (const QString spokenAs = label->property("spokenAs").toString(); !spokenAs.isEmpty())
        label->setAccessibleName(spokenAs + u' ' + caption.trimmed());
    auto *halo = qobject_cast<HaloLabel *>(label);
    if (halo && label->property("autosize").toBool())
        label->resize(halo->fitted());
    // A name cut short is still there whole, to point at and to hear.
    if (halo && halo->elideWidth() > 0)
        label->setToolTip(halo->elided() ? caption.trimmed() : QString());
}

// ---- Running handlers -------------------------------------------------------

namespace {
// Unwinds a handler whose program has ended while it waited in a box.
struct ProgramEnded
{
};
} // namespace

void Tavola::runHandler(const std::function<void()> &handler)
{
    if (m_ended)
        return;
    try {
        handler();
    } catch (const ProgramEnded &) {
    } catch (const std::exception &error) {
        endProgram(1, QStringLiteral("Errore: ") + QString::fromUtf8(error.what()));
    }
}

bool Tavola::load()
{
    runHandler([this] { Form_Load(); });
    return !m_ended;
}

void Tavola::msgBox(const QString &text)
{
    m_services.dialogs.msgBox(text);
    if (m_ended)
        throw ProgramEnded{};
}

void Tavola::endProgram(int status, const QString &error)
{
    if (m_ended)
        return;
    // Ended before the error box opens, so that nothing runs in its event loop.
    m_ended = true;
    m_exitStatus = status;
    m_services.timer.stop();
    if (!error.isEmpty())
        m_services.dialogs.errorBox(error);
    hide();
    m_services.quit(status);
}

void Tavola::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Activation may never be reported where no window manager runs, so the
    // first show asks for it too; whichever comes first runs it, once.
    if (!m_activated)
        QTimer::singleShot(0, this, [this] { runActivation(); });
}

void Tavola::closeEvent(QCloseEvent *event)
{
    // Closing from the title bar leaves at once: no goodbye and nothing saved.
    QMainWindow::closeEvent(event);
    if (!m_ended)
        endProgram(0);
}

void Tavola::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        arrange();
        // Back in a window: exactly the size it had.
        if (!fitted())
            setDesignScale(m_windowScale);
    }
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_activated)
        runActivation();
}

void Tavola::runActivation()
{
    if (m_activated || !m_loaded || m_ended)
        return;
    m_activated = true;
    runHandler([this] { Form_Activate(); });
}

bool Tavola::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_stage && event->type() == QEvent::Resize)
        arrange();
    // While the pad is up it is the on-screen keyboard: the system's own
    // would come up over the design and the pad at every tap on the answer box.
    if (watched == Text3 && event->type() == QEvent::InputMethodQuery && m_pad->isVisible()) {
        auto *query = static_cast<QInputMethodQueryEvent *>(event);
        static_cast<QObject *>(Text3)->event(query);
        if (query->queries() & Qt::ImEnabled)
            query->setValue(Qt::ImEnabled, false);
        return true;
    }
    if (watched == Text3 && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        // A combination with Alt, Ctrl or Meta is a command, never a typed
        // character: Alt+N on the disabled "Nuovo calcolo" must not type an
        // "n". The box still gets Ctrl's editing commands (Ctrl+V pastes),
        // and types nothing for them itself.
        if (key->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)) {
            const bool wouldType = !key->text().isEmpty() && key->text().at(0).isPrint();
            return wouldType && (key->modifiers() & (Qt::AltModifier | Qt::MetaModifier));
        }
        // Only keys that type a character code reach the key handler: Tab
        // moves the focus, and Delete edits without typing anything.
        if (key->text().isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab
            || key->key() == Qt::Key_Delete)
            return false;
        qint16 code = qint16(key->text().at(0).unicode());
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            code = 13;
        runHandler([this, &code] { Text3_KeyPress(code); });
        return m_ended;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Start-up ----------------------------------------------------------------

void Tavola::Form_Load()
{
    m_loaded = true;
    giuste = 0;
    sbagliate = 0;

    const QString name = m_services.dialogs.inputBox(QStringLiteral("Come ti chiami?"));
    if (m_ended)
        throw ProgramEnded{};
    // A window made with its controls for later has them by now, unless the box closed first.
    buildControls();
    msgBox(u' ' + name + QStringLiteral(" vediamo se sei un vero campione  "));

    setCaption(lblnome1, name);
    if (lblnome1->text().isEmpty())
        setCaption(lblnome1, QStringLiteral("Amico"));
    Txtnome1->setText(lblnome1->text());

    setCaption(lblconto, m_clock.text());
    Impostatimer();

    sysdir = GetSystemDir();
    nfile = 1;
    // Both files come from the helper under its lock, so a save running
    // meanwhile is never seen half done; one that keeps the lock too long
    // leaves the record line empty rather than the start waiting.
    const RecordPair record = RecordHelper(m_services.recordHelper, sysdir).read().value_or(RecordPair{});
    setCaption(lblpunti, fromWindows1252(record.score));
    setCaption(lblnome, fromWindows1252(record.name));

    m_services.agent.Load(QStringLiteral("Merlin"), kCharacterFile);
    Character &Merlin = m_services.agent.item(QStringLiteral("Merlin"));
    placeMerlin(Merlin, kAnnounceAnimation);
    // Belongs to no question: a question asked at once waits behind it.
    Merlin.Speak(kIntroduction, Keep::Always);

    hideQuestion();
}

QString Tavola::introduction()
{
    return kIntroduction;
}

void Tavola::Form_Activate()
{
    cmdNext_Click();
    sbagliate = 0;
    giuste = 0;
    setCaption(lblconto, startCaption());
}

void Tavola::Impostatimer()
{
    m_services.timer.start([this] { runHandler([this] { Timer1_Timer(); }); });
    m_clock.start();
}

// ---- The question ------------------------------------------------------------

void Tavola::cmdNext_Click()
{
    hideQuestion();
    setCaption(lblMessage, QString());

    m_services.random.seedFromClock();
    num1 = 4;
    num2 = qint16(drawOneToTen(m_services.random.next()));
    Text1->setText(QString::number(num1));
    setCaption(lblNum1, QString::number(num1));
    fattore = qint16(drawOneToTen(m_services.random.next()));
    Text6->setText(QString::number(fattore));
    setCaption(lblNum2, QString::number(fattore));
    risultato = mul16(fattore, num1);
    Text7->setText(QString::number(risultato));
#ifdef GARIVOLO_BENCH_MARKERS
    // The benchmark answers right as well as wrong, as a child does.
    std::printf("garivolo-marker question %d\n", int(risultato));
    std::fflush(stdout);
#endif
    Text6->setText(numlett(Currency::fromText(Text6->text())));

    Character &Merlin = m_services.agent.item(QStringLiteral("Merlin"));
    // What he was still to say about earlier questions is out of date: the
    // child would hear a question that is no longer on the screen.
    Merlin.dropWaiting();
    placeMerlin(Merlin, kGreetAnimation);
    Merlin.Speak(Text1->text());
    Merlin.Speak(QStringLiteral("per"));
    Merlin.Speak(Text6->text());

    hideQuestion();
    Text3->setText(QString());
    Text3->setFocus();
    // Said now, when it is asked: the labels show it only at the first key.
    announce(lblNum1->text() + u' ' + Label10->accessibleName() + u' ' + lblNum2->text());

    // The gradient hides all that was drawn before it, which need not be kept under it.
    m_canvas->coverSurface([red = num1 * 20, green = num2 * 20](QPainter &painter, QSize size) {
        paintGradient(painter, size, red, green);
    });
    prepareVerdicts();
}

void Tavola::prepareVerdicts()
{
    // Drawing a verdict's haloed type costs more than the rest of its frame:
    // both verdicts this question can have are drawn while the child thinks.
    QTimer::singleShot(kPrepareVerdictsMs, lblMessage, [this] {
        auto *verdict = static_cast<HaloLabel *>(lblMessage);
        const bool fit = verdict->property("autosize").toBool();
        verdict->prepare(kRightVerdict, kRightInk, fit);
        verdict->prepare(wrongVerdict(Text7->text()), kWrongInk, fit);
    });
}

// ---- The verdict -------------------------------------------------------------

void Tavola::Text3_KeyPress(qint16 &KeyAscii)
{
    m_canvas->clearSurface();
    showQuestion();
    if (KeyAscii == 13)
        Command3_Click();
}

void Tavola::Command3_Click()
{
    hideQuestion();
    Character &Merlin = m_services.agent.item(QStringLiteral("Merlin"));

    QPalette palette = lblMessage->palette();
    if (Text3->text() != Text7->text()) {
        palette.setColor(QPalette::WindowText, kWrongInk);
        lblMessage->setPalette(palette);
        setCaption(lblMessage, wrongVerdict(Text7->text()));
        sbagliate = add16(sbagliate, 1);
        placeMerlin(Merlin, kGreetAnimation);
        Merlin.Speak(QStringLiteral("Sbagliato"));
        Merlin.Speak(Text7->text());
        setCaption(lblScore1, QString::number(sbagliate));
    } else {
        palette.setColor(QPalette::WindowText, kRightInk);
        lblMessage->setPalette(palette);
        setCaption(lblMessage, kRightVerdict);
        giuste = add16(giuste, 1);
        placeMerlin(Merlin);

        // The ladder follows the score on the board before this answer is counted.
        const int shown = int(leadingNumber(lblScore->text()));
        if (const QString word = confirmationAt(shown); !word.isEmpty())
            Merlin.Speak(word);
        if (namesChildAt(shown))
            Merlin.Speak(Txtnome1->text());
        Merlin.Speak(Text7->text());
        if (const PraiseStep *step = praiseStepAt(shown)) {
            Merlin.Play(QString::fromLatin1(step->animation));
            // A step of the ladder reached is the child's to hear, even after a quick next question.
            Merlin.Speak(QString::fromUtf8(step->line), Keep::Always);
        }
    }
    setCaption(lblScore, QString::number(giuste));
    setCaption(lblScore2, QString::number(add16(giuste, sbagliate)));
    cmdNext->setEnabled(true);
    cmdNext->setFocus();
    // After the focus has moved, so that a screen reader says the verdict last.
    announce(lblMessage->text() + u' ' + lblScore->accessibleName() + u' ' + lblScore1->accessibleName() + u' '
             + lblScore2->accessibleName());
}

QList<QRect> Tavola::keepClearOfBalloon() const
{
    QWidget *client = m_canvas;
    const auto placed = [client](const QWidget *w) { return QRect(w->mapTo(client, QPoint()), w->size()); };
    const auto design = [this](QRect r) {
        const qreal s = m_scale;
        return QRect(qRound(r.x() * s), qRound(r.y() * s), qRound(r.width() * s), qRound(r.height() * s));
    };
    // The verdict line sizes itself to its text: room is kept for the
    // longest verdict, to the right edge and in its large type, even while it is empty.
    QRect verdict = placed(lblMessage);
    verdict.setRight(client->width());
    verdict.setHeight(qMax(verdict.height(), qRound(48 * m_scale)));
    // The score board and the clock, as drawn by their frames.
    return {placed(Text3), verdict, design(QRect(0, 0, 225, 297)), design(QRect(560, 0, 233, 137))};
}

void Tavola::placeMerlin(Character &Merlin, const char *animation)
{
    Merlin.Show();
    Merlin.MoveTo(kMerlinLeft, kMerlinTop);
    if (animation)
        Merlin.Play(QLatin1String(animation));
    Merlin.setHeight(kMerlinHeight);
}

void Tavola::showQuestion()
{
    lblNum1->show();
    lblNum2->show();
    Label10->show();
}

void Tavola::hideQuestion()
{
    lblNum1->hide();
    lblNum2->hide();
    Label10->hide();
}

void Tavola::announce(const QString &message)
{
    m_announcer->say(message);
}

// ---- The clock and the end ------------------------------------------------------

void Tavola::Timer1_Timer()
{
    // Until activation the caption still reads the load's "00:00:00", which
    // is not the end of the time; and once the goodbye has begun, ticks wait.
    if (!m_activated || m_exiting)
        return;
    if (lblconto->text() == QLatin1String(kTimeUp)) {
        cmdExit1_Click();
        return;
    }
    m_clock.stepBack();
    setCaption(lblconto, m_clock.text());
    // Read out at each whole minute and through the last seconds: every second would drown the child's work.
    if (m_clock.secondi == 0.0f || (m_clock.ore == 0 && m_clock.minuti == 0 && m_clock.secondi <= 10.0f))
        announce(lblconto->accessibleName());
}

void Tavola::cmdExit1_Click()
{
    if (m_exiting)
        return;
    m_exiting = true;
    msgBox(QStringLiteral("Ciao. Ti aspetto per la prossima sfida "));
    const double record = leadingNumber(lblpunti->text());
    const double score = leadingNumber(lblScore->text());
    if (record >= score)
        return endProgram(0);

    nfile = 1;
    riga = lblScore->text();
    const QString scoreLine = riga;
    riga = lblnome1->text();
    // Another copy may have saved a higher record meanwhile: the helper checks under its lock.
    if (RecordHelper(m_services.recordHelper, sysdir).save(scoreLine, riga))
        msgBox(QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E") + u'"');
    endProgram(0);
}

// ---- Public helpers -------------------------------------------------------------

QString Tavola::numlett(Currency numer) const
{
    return ::numlett(numer);
}

QString Tavola::Leggifiletxt(const QString &nomefile) const
{
    return ::Leggifiletxt(nomefile);
}

QString Tavola::GetSystemDir() const
{
    return ::GetSystemDir(m_services.recordDir);
}
