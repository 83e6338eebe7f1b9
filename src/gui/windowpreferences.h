#ifndef WINDOWPREFERENCES_H
#define WINDOWPREFERENCES_H

#include "core/consolesettings.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTranslator>

#include <optional>

class BoardSession;
class LogPane;
class QAction;
class QActionGroup;
class QMainWindow;
class QMenu;

namespace Ui {
class MainWindow;
}

// The window's choices that outlive a run, and the menus that make two of them:
// "串口" with auto-reconnect, and the language. The rest (selected port, image
// path, hex mode, dialog folder, window geometry and state) are taken from the
// window as the user leaves them. The loaded image itself is not: a remembered
// path only fills the path field, and the image is read at "打开文件", as always.
class WindowPreferences : public QObject
{
    Q_OBJECT

public:
    // Adds the menus and puts back what the last run left.
    WindowPreferences(QMainWindow *window, Ui::MainWindow *ui, BoardSession *session, LogPane *log);

    // The remembered port's name among the ports listed, where it is one of them.
    std::optional<QString> rememberedPortIn(const QList<PortRecord> &ports) const;
    // What is only read from the window when it goes: its geometry and the port selected.
    void save(const PortIdentity &selectedPort);

    QString lastFolder() const;
    void rememberFolderOf(const QString &filePath);

private:
    void createMenus();
    void retranslateMenus();
    void restore();
    // At start the pane holds nothing to keep; later it keeps the lines it has.
    void applyLanguage(bool english, bool keepLog);

    QMainWindow *const m_window;
    Ui::MainWindow *const m_ui;
    BoardSession *const m_session;
    ConsoleSettings m_settings;
    QString m_lastFolder;
    QTranslator m_translator;
    QMenu *m_portMenu = nullptr;
    QAction *m_autoReconnect = nullptr;
    QMenu *m_languageMenu = nullptr;
    QAction *m_chinese = nullptr;
    QAction *m_english = nullptr;
};

#endif // WINDOWPREFERENCES_H
