#pragma once

#include "MediaChannel.h"
#include "OpenFileDialog.h"

#include <QStringList>

#include <memory>

// One log that fakes write to, so tests see the order across components.
using EventLog = std::shared_ptr<QStringList>;

inline EventLog makeLog() { return std::make_shared<QStringList>(); }

// A media channel that records what it is told: "<name>: open", and
// "<name> file: <path>" for a file name.
class RecordingChannel : public MediaChannel
{
public:
    RecordingChannel(QString name, EventLog log)
        : m_name(std::move(name)), m_log(std::move(log)) {}

    void setFileName(const QString &fileName) override
    {
        m_fileName = fileName;
        m_log->append(m_name + QStringLiteral(" file: ") + fileName);
    }
    void command(const QString &word) override { m_log->append(m_name + QStringLiteral(": ") + word); }

    QString fileName() const { return m_fileName; }

private:
    QString m_name;
    EventLog m_log;
    QString m_fileName;
};

// An open-file dialog that answers from a script: each use takes the next
// answer (an empty answer is a cancel); with none left it cancels.
class ScriptedDialog : public OpenFileDialog
{
public:
    ScriptedDialog(QString name, EventLog log)
        : m_name(std::move(name)), m_log(std::move(log)) {}

    void answer(const QString &fileName) { m_answers.append(fileName); }

    void showOpen() override
    {
        m_log->append(m_name + QStringLiteral(": show"));
        m_fileName = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    }
    QString fileName() const override { return m_fileName; }

private:
    QString m_name;
    EventLog m_log;
    QStringList m_answers;
    QString m_fileName;
};
