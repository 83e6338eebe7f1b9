#include "boardthread.h"

#include "boardlink.h"
#include "boardsimulator.h"

#include <QMetaObject>

BoardThread::BoardThread(QObject *parent)
    : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("simulated board"));
}

BoardThread::~BoardThread()
{
    stop();
}

bool BoardThread::start(QString *error)
{
    if (m_thread.isRunning())
        return true;
    m_simulator = new BoardSimulator();
    m_link = new BoardLink();
    m_simulator->moveToThread(&m_thread);
    m_link->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_simulator, &QObject::deleteLater);
    connect(&m_thread, &QThread::finished, m_link, &QObject::deleteLater);
    m_thread.start();

    bool opened = false;
    run([this, &opened] {
        opened = m_link->openPty();
        if (opened)
            m_link->attach(m_simulator);
    });
    if (!opened) {
        if (error)
            *error = m_link->errorString();
        stop();
        return false;
    }
    m_portName = m_link->portName();
    return true;
}

void BoardThread::stop()
{
    if (!m_thread.isRunning())
        return;
    run([this] { m_link->close(); });
    m_thread.quit();
    m_thread.wait();
    m_simulator = nullptr;
    m_link = nullptr;
}

void BoardThread::run(const std::function<void()> &call) const
{
    QMetaObject::invokeMethod(m_simulator, call, Qt::BlockingQueuedConnection);
}
