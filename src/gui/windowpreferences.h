#ifndef WINDOWPREFERENCES_H
#define WINDOWPREFERENCES_H

#include "core/consolesettings.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QTranslator>
#include <QVariant>

#include <optional>
#include <utility>

class BoardSession;
class LogPane;
class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;
class QWidget;

namespace Ui {
class MainWindow;
}

// The window's choices that outlive a run, and the menus that make two of them:
// "串口" with auto-reconnect (and publishing, which the window runs), and the language. The rest (selected port, image
// path, hex mode, dialog folder, window geometry and state) are taken from the
// window as the user leaves them. The loaded image itself is not: a remembered
// path only fills the path field, and the image is read at "打开文件", as always.
// A language switch changes the form's texts alone: what the boxes hold stays, and
// the control panel's fixed places make room for a longer text.
class WindowPreferences : public QObject
{
    Q_OBJECT

public:
    // Adds the menus and puts back what the last run left.
    WindowPreferences(QMainWindow *window, Ui::MainWindow *ui, BoardSession *session, LogPane *log);

    // The remembered port's name among the ports listed, where it is one of them.
    std::optional<QString> rememberedPortIn(const QList<PortRecord> &ports) const;
    // What is only read from the window when it goes: its geometry and the port
    // selected. Written at once; a failure not yet told goes to standard error, as
    // the log pane goes with the window.
    void save(const PortIdentity &selectedPort);

    CurveLimits::Set limits() const { return m_settings.limits(); }
    void rememberLimits(const CurveLimits::Set &limits);

    QString lastFolder() const;
    void rememberFolderOf(const QString &filePath);

    ChartTrigger::Settings triggerSettings() const { return m_settings.trigger(); }
    void rememberTrigger(const ChartTrigger::Settings &trigger);

    QAction *mqttAction() const { return m_mqtt; }
    MqttChoices mqttChoices() const { return m_settings.mqtt(); }
    void rememberMqtt(const MqttChoices &choices);

private:
    void createMenus();
    void retranslateMenus();
    void restore();
    // A choice changed: kept, and written out once the event loop is back.
    void store(const QString &key, const QVariant &value);
    void saveNow();
    // At start the text boxes hold the form's own texts, in the language chosen;
    // later what they hold is the user's and stays as it is.
    void applyLanguage(bool english, bool keepContents);
    void retranslateKeepingContents();
    void fitTextsInForm();

    QMainWindow *const m_window;
    Ui::MainWindow *const m_ui;
    BoardSession *const m_session;
    LogPane *const m_log;
    ConsoleSettings m_settings;
    QTimer m_saveTimer;
    QString m_lastFolder;
    QTranslator m_translator;
    // The form's own rectangles of its captions and buttons at fixed places.
    QList<std::pair<QWidget *, QRect>> m_formRectangles;
    QMenu *m_portMenu = nullptr;
    QAction *m_autoReconnect = nullptr;
    QAction *m_mqtt = nullptr;
    QMenu *m_languageMenu = nullptr;
    QAction *m_chinese = nullptr;
    QAction *m_english = nullptr;
};

#endif // WINDOWPREFERENCES_H
