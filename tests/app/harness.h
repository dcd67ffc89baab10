// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fakes.h"
#include "tavola.h"

#include "announcer.h"

#include <QTemporaryDir>
#include <QTest>
#include <QLabel>
#include <QLineEdit>
#include <memory>

// A window built with fakes, in a record directory of its own.
struct Harness
{
    RecordingAgent agent;
    ScriptedDialogs dialogs;
    ScriptedRandom random;
    ManualTicker timer;
    QTemporaryDir dir;
    QList<int> quits;
    std::unique_ptr<Tavola> window;

    // What a screen reader was told to say, in order.
    static inline QStringList announced;

    // The real record helper unless a test gives a stand-in for it.
    explicit Harness(const QString &recordHelper = QStringLiteral(GARIVOLO_TEST_RECORD_HELPER),
                     Tavola::Controls controls = Tavola::Controls::Now)
    {
        announced.clear();
        window = std::make_unique<Tavola>(
            TavolaServices{dialogs, agent, random, timer, dir.path(), recordHelper, [this](int status) { quits << status; }},
            nullptr, controls);
        if (controls == Tavola::Controls::Now)
            listen();
    }

    // Hears what the window tells screen readers, once its controls are built.
    void listen()
    {
        QObject::connect(window->findChild<Announcer *>(QStringLiteral("announcer")), &Announcer::said, window.get(),
                         [](const QString &message) { announced << message; });
    }

    Tavola &w() { return *window; }

    // Load, show, and wait for the activation that asks the first question.
    void start(const QString &name = QStringLiteral("Luca"))
    {
        dialogs.name = name;
        QVERIFY(window->load());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_COMPARE(window->lblconto->text(), QStringLiteral("00.07.00"));
    }

    // Puts an answer in the box and has it judged, as Enter would.
    void judge(const QString &answer)
    {
        window->Text3->setText(answer);
        window->Command3_Click();
    }

    // Types a text and Enter into whatever has the focus, as a child would.
    void typeIntoFocus(const QString &text)
    {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QTest::keyClicks(focus, text);
    }
    void enterOnFocus()
    {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        QTest::keyClick(focus, Qt::Key_Return);
    }
};
