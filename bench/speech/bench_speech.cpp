// SPDX-License-Identifier: GPL-3.0-or-later
// From a request to speak to the first sample handed to the sound device.
#include "espeakengine.h"
#include "speechengine.h"
#include "voice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Voice voice(std::make_unique<EspeakEngine>(), std::make_unique<PulseAudioOutput>());
    bool silent = false;
    QObject::connect(&voice, &Voice::silenced, &app, [&silent] { silent = true; });
    std::vector<double> ms;
    for (int i = 0; i < 11; ++i) {
        QEventLoop loop;
        QElapsedTimer clock;
        double latency = -1;
        auto started = QObject::connect(&voice, &Voice::soundStarted, &loop, [&] { latency = clock.nsecsElapsed() / 1e6; });
        clock.start();
        voice.say(QStringLiteral("Sbagliato"), VoiceSettings{}, nullptr, [&] { loop.quit(); });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(started);
        if (i > 0) // the first one also waits for the voice to load
            ms.push_back(latency);
    }
    if (silent || ms.empty() || ms.front() < 0) {
        std::printf("speech start latency: no sound device\n");
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("speech_start_ms %.2f\n", ms[ms.size() / 2]);
    return 0;
}
