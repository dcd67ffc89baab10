// SPDX-License-Identifier: GPL-3.0-or-later
// Times the window's handlers and the record's loading and saving, offscreen.
#include "fakes.h"
#include "recordfiles.h"
#include "recordhelper.h"
#include "tavola.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

template <typename F>
double medianMicroseconds(int runs, F &&f)
{
    std::vector<double> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f(i);
        times.push_back(double(t.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

void report(const char *name, double value, const char *unit, const char *aim)
{
    std::printf("%-32s %10.2f %-3s %-12s\n", name, value, unit, aim);
    std::fflush(stdout);
}

// What the window itself paints after Enter and after the next question:
// the handler and the repaint it leaves to the event loop, offscreen.
void reportRepaints(Tavola &w)
{
    const auto settle = [] { QCoreApplication::processEvents(); };
    for (qreal scale : {1.0, 1.6}) {
        w.setDesignScale(scale);
        settle();
        const QByteArray where = scale == 1.0 ? "window" : "x1.6";
        report(("verdict repaint, " + where).constData(), medianMicroseconds(60, [&](int) {
                   w.Text3->setText(QStringLiteral("1"));
                   qint16 enter = 13;
                   w.Text3_KeyPress(enter);
                   settle();
               }) / 1000.0,
               "ms", "(no aim)");
        report(("next question repaint, " + where).constData(), medianMicroseconds(60, [&](int) {
                   w.cmdNext_Click();
                   settle();
               }) / 1000.0,
               "ms", "(no aim)");
    }
    w.setDesignScale(1.0);
    settle();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Tavola::installFonts();

    RecordingAgent agent;
    ScriptedDialogs dialogs;
    dialogs.name = QStringLiteral("Luca");
    ClockSeededRandom random(&ClockSeededRandom::systemClock);
    ManualTicker timer;
    QTemporaryDir dir;
    Tavola w({dialogs, agent, random, timer, dir.path(), QStringLiteral(GARIVOLO_HELPER), [](int) {}});
    if (!w.load())
        return 1;
    w.show();
    while (w.lblconto->text() != QLatin1String("00.07.00"))
        QCoreApplication::processEvents();

    // Each window activates once: a fresh one for every run, timed from activation alone.
    std::vector<double> activation;
    for (int i = 0; i < 15; ++i) {
        Tavola fresh({dialogs, agent, random, timer, dir.path(), QStringLiteral(GARIVOLO_HELPER), [](int) {}});
        fresh.load();
        QElapsedTimer t;
        t.start();
        fresh.Form_Activate();
        activation.push_back(double(t.nsecsElapsed()) / 1000.0);
        agent.log.clear();
    }
    std::sort(activation.begin(), activation.end());
    report("Form_Activate to dictation", activation[activation.size() / 2], "us", "(no aim)");
    report("cmdNext_Click (gradient)", medianMicroseconds(300, [&](int) {
               w.cmdNext_Click();
               agent.log.clear();
           }),
           "us", "< 3000 us");
    report("Command3_Click (verdict)", medianMicroseconds(2000, [&](int i) {
               w.Text3->setText(i % 2 ? w.Text7->text() : QStringLiteral("1"));
               w.Command3_Click();
               agent.log.clear();
           }),
           "us", "< 1000 us");

    reportRepaints(w);

    const QString sysdir = GetSystemDir(dir.path());
    const RecordHelper helper(QStringLiteral(GARIVOLO_HELPER), sysdir);
    report("record loading", medianMicroseconds(30, [&](int) {
               helper.read();
           }) / 1000.0,
           "ms", "< 5 ms");
    report("record save", medianMicroseconds(30, [&](int i) {
               helper.save(QString::number(1000 + i), QStringLiteral("Luca"));
           }) / 1000.0,
           "ms", "< 30 ms");
    return 0;
}
