// SPDX-License-Identifier: GPL-3.0-or-later
#include "voicemodule.h"

#include <QLibrary>

namespace {

// Loaded once, by whichever part is used first; both are used on the voice's thread only.
class Module
{
public:
    explicit Module(const QString &path)
        : m_library(path)
    {
    }
    // The library is never unloaded: espeak-ng is put away at exit by code that lives in it.
    ~Module() = default;

    bool load(QString *reason)
    {
        if (!m_tried) {
            m_tried = true;
            const auto version = reinterpret_cast<VoiceModuleVersion>(m_library.resolve(kVoiceModuleVersionSymbol));
            if (version && version() != kVoiceModuleVersion) {
                m_error = QStringLiteral("modulo della voce di un'altra versione (%1, attesa %2): %3")
                              .arg(version())
                              .arg(kVoiceModuleVersion)
                              .arg(m_library.fileName());
            } else if (!version && m_library.isLoaded()) {
                m_error = QStringLiteral("modulo della voce di un'altra versione (senza versione): %1")
                              .arg(m_library.fileName());
            } else if (auto entry = reinterpret_cast<VoiceModuleEntry>(m_library.resolve(kVoiceModuleEntry))) {
                entry(&parts);
            }
            if (m_error.isEmpty() && (!parts.engine || !parts.output))
                m_error = QStringLiteral("modulo della voce non caricato (%1)").arg(m_library.errorString());
        }
        if (!m_error.isEmpty() && reason)
            *reason = m_error;
        return m_error.isEmpty();
    }

    VoiceParts parts;

private:
    QLibrary m_library;
    bool m_tried = false;
    QString m_error;
};

class ModuleEngine : public SpeechEngine
{
public:
    explicit ModuleEngine(std::shared_ptr<Module> module)
        : m_module(std::move(module))
    {
    }
    bool initialise(QString *reason) override
    {
        return m_module->load(reason) && m_module->parts.engine->initialise(reason);
    }
    bool supports(const QLocale &locale, QString *reason) override
    {
        return m_module->load(reason) && m_module->parts.engine->supports(locale, reason);
    }
    Utterance synthesize(const QString &text, const VoiceSettings &voice, const SampleSink &sink) override
    {
        return m_module->parts.engine ? m_module->parts.engine->synthesize(text, voice, sink) : Utterance();
    }

private:
    std::shared_ptr<Module> m_module;
};

class ModuleOutput : public AudioOutput
{
public:
    explicit ModuleOutput(std::shared_ptr<Module> module)
        : m_module(std::move(module))
    {
    }
    bool open(QString *reason) override
    {
        return m_module->load(reason) && m_module->parts.output->open(reason);
    }
    bool start(const PcmFormat &format, qint64 expectedMs, QString *reason) override
    {
        return m_module->load(reason) && m_module->parts.output->start(format, expectedMs, reason);
    }
    void append(const char *data, qsizetype bytes) override
    {
        if (m_module->parts.output)
            m_module->parts.output->append(data, bytes);
    }
    void finish() override
    {
        if (m_module->parts.output)
            m_module->parts.output->finish();
    }
    void stop() override
    {
        if (m_module->parts.output)
            m_module->parts.output->stop();
    }
    // Asked only of a text the output has started, so after the module is loaded.
    qint64 heardMs() override { return m_module->parts.output ? m_module->parts.output->heardMs() : -1; }

private:
    std::shared_ptr<Module> m_module;
};

} // namespace

VoiceParts voiceFromModule(const QString &path)
{
    const auto module = std::make_shared<Module>(path);
    return {std::make_unique<ModuleEngine>(module), std::make_unique<ModuleOutput>(module)};
}
