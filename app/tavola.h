// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <functional>

#include "countdown.h"
#include "currency.h"

class Announcer;
class Character;
class Characters;
class Dialogs;
class FormCanvas;
class NumberPad;
class QLabel;
class QLineEdit;
class QPushButton;
class RandomSource;
class Ticker;

// What the window gets from outside, so that tests can give it fakes.
struct TavolaServices
{
    Dialogs &dialogs;
    Characters &agent;
    RandomSource &random;
    Ticker &timer;
    QString recordDir;
    // The program that alone writes in the record directory.
    QString recordHelper;
    // Ends the program with an exit status; the window has already stopped.
    std::function<void(int)> quit;
};

// The one window of the drill: its controls, the contest state and every
// event handler, named as the drill's vocabulary names them.
class Tavola : public QMainWindow
{
    Q_OBJECT
public:
    // Later: the window starts with its menus and its size only; its controls
    // are built by buildControls(), while the first box is open, so that the
    // program's start shows the name prompt without waiting for them.
    enum class Controls { Now, Later };
    explicit Tavola(TavolaServices services, QWidget *parent = nullptr, Controls controls = Controls::Now);
    ~Tavola() override;

    // Builds the controls once; the load handler does it at the latest when the name has been asked.
    void buildControls();

    // Maps the design's Windows font families to free ones with the same
    // metrics, and lays every text out without shaping. Needs the application.
    static void installFonts();
    // What Merlin says when the contest opens.
    static QString introduction();

    // Runs the load handler the way the program start does; false when it ended the program.
    bool load();
    bool ended() const { return m_ended; }
    int exitStatus() const { return m_exitStatus; }

    // The event handlers, also called directly.
    void Form_Load();
    void Form_Activate();
    void cmdNext_Click();
    void Text3_KeyPress(qint16 &KeyAscii);
    void Command3_Click();
    void Timer1_Timer();
    void cmdExit1_Click();

    QString numlett(Currency numer) const;
    QString Leggifiletxt(const QString &nomefile) const;
    QString GetSystemDir() const;

    // Runs a handler the way an event does: a failure is shown and ends the program.
    void runHandler(const std::function<void()> &handler);

    // The contest state.
    qint16 num1 = 0;
    qint16 fattore = 0;
    qint16 risultato = 0;
    qint16 num2 = 0;
    qint16 giuste = 0;
    qint16 sbagliate = 0;
    qint16 &ore = m_clock.ore;
    qint16 &minuti = m_clock.minuti;
    float &secondi = m_clock.secondi;
    QString sysdir;
    qint16 nfile = 0;
    QString riga;

    FormCanvas *canvas() const { return m_canvas; }

    // Draws the whole design this much smaller (or larger): positions, fonts and pictures together.
    void setDesignScale(qreal scale);
    qreal designScale() const { return m_scale; }
    // The scale at which the window fits a screen's free area.
    qreal scaleToFit(QSize available) const;

    // Full screen (F11) and maximised show the whole design as large as the
    // screen allows, with the number pad beside it.
    void toggleFullScreen();
    // Makes the boxes before the window appears as large as they will be in full screen.
    void prepareFullScreen();
    // A computer with a touch screen shows the number pad in a window too, beside the design.
    void setTouchScreen(bool touch);
    NumberPad *numberPad() const { return m_pad; }
    // How much larger than designed the boxes are drawn.
    qreal boxScale() const { return m_pendingBoxScale > 0 ? m_pendingBoxScale : m_scale; }
    // What the character's balloon must leave readable, in the canvas at the
    // current scale: the answer box, the verdict line, the score board and the clock.
    QList<QRect> keepClearOfBalloon() const;

signals:
    void designScaleChanged(qreal scale);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool fitted() const;
    void arrange();
    void applyScale(qreal scale);
    int minimumKey() const;
    void typeOnPad(int key, const QString &text);
    void padEnter();
    void Impostatimer();
    void buildMenus();
    void layoutControls();
    void setCaption(QLabel *label, const QString &caption);
    void msgBox(const QString &text);
    void endProgram(int status, const QString &error = {});
    void runActivation();
    void placeMerlin(Character &Merlin, const char *animation = nullptr);
    void showQuestion();
    void hideQuestion();
    void prepareVerdicts();
    void announce(const QString &message);
    template <typename T>
    T *control(const char *name) const;

    TavolaServices m_services;
    Countdown m_clock;
    FormCanvas *m_canvas = nullptr;
    QWidget *m_stage = nullptr;
    NumberPad *m_pad = nullptr;
    Announcer *m_announcer = nullptr;
    qreal m_scale = 1.0;
    // The scale the window has when it is neither full screen nor maximised.
    qreal m_windowScale = 1.0;
    qreal m_pendingBoxScale = 0;
    bool m_touchScreen = false;
    bool m_arranging = false;
    bool m_loaded = false;
    bool m_activated = false;
    bool m_exiting = false;
    bool m_ended = false;
    int m_exitStatus = 0;

public:
    // The controls, by their names.
    QLineEdit *Txtnome1 = nullptr, *Text7 = nullptr, *Text6 = nullptr, *Text3 = nullptr, *Text1 = nullptr;
    QPushButton *Command3 = nullptr, *cmdNext = nullptr, *cmdExit1 = nullptr;
    QWidget *Picture1 = nullptr;
    QLabel *lblMessage = nullptr, *lblconto = nullptr, *lblNum1 = nullptr, *Label10 = nullptr, *lblNum2 = nullptr,
           *Image1 = nullptr, *Label11 = nullptr, *Label14 = nullptr, *lblnome1 = nullptr, *Label12 = nullptr,
           *lblnome = nullptr, *Label13 = nullptr, *lblpunti = nullptr, *Label1 = nullptr, *Label3 = nullptr,
           *lblScore2 = nullptr, *lblScore1 = nullptr, *lblScore = nullptr, *Label6 = nullptr;
};
