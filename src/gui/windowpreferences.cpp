#include "gui/windowpreferences.h"

#include "core/consolelanguage.h"
#include "gui/logpane.h"
#include "link/boardsession.h"
#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QTextDocument>

namespace {

const QString imagePathKey = QStringLiteral("image/path");
const QString hexModeKey = QStringLiteral("send/hexMode");
const QString autoReconnectKey = QStringLiteral("port/autoReconnect");
const QString autoscaleKey = QStringLiteral("chart/autoscaleY");
const QString languageKey = QLatin1String(ConsoleSettings::languageKey);
const QString geometryKey = QStringLiteral("window/geometry");
const QString stateKey = QStringLiteral("window/state");
const QString english = QLatin1String(ConsoleSettings::englishLanguage);

} // namespace

WindowPreferences::WindowPreferences(QMainWindow *window, Ui::MainWindow *ui, BoardSession *session, LogPane *log)
    : QObject(window)
    , m_window(window)
    , m_ui(ui)
    , m_session(session)
{
    createMenus();
    restore();
    if (!m_settings.problemLine().isEmpty())
        log->appendLine(m_settings.problemLine());

    connect(m_autoReconnect, &QAction::toggled, this, [this](bool on) {
        m_session->setReconnectEnabled(on);
        m_settings.setValue(autoReconnectKey, on);
    });
    connect(m_english, &QAction::toggled, this, [this](bool on) {
        m_settings.setValue(languageKey, on ? english : QString());
        applyLanguage(on, true);
    });
    connect(m_ui->checkBox_send_in_HEX, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.setValue(hexModeKey, on); });
    connect(m_ui->action_autoscale_y, &QAction::toggled, this,
            [this](bool on) { m_settings.setValue(autoscaleKey, on); });
    connect(m_ui->lineEdit_file_path, &QLineEdit::textChanged, this,
            [this](const QString &path) { m_settings.setValue(imagePathKey, path); });
}

void WindowPreferences::createMenus()
{
    m_portMenu = m_ui->menubar->addMenu(QString());
    m_portMenu->setObjectName(QStringLiteral("menu_port"));
    m_autoReconnect = m_portMenu->addAction(QString());
    m_autoReconnect->setObjectName(QStringLiteral("action_auto_reconnect"));
    m_autoReconnect->setCheckable(true);

    m_languageMenu = m_ui->menubar->addMenu(QString());
    m_languageMenu->setObjectName(QStringLiteral("menu_language"));
    auto *languages = new QActionGroup(m_languageMenu);
    m_chinese = languages->addAction(QString());
    m_chinese->setObjectName(QStringLiteral("action_language_chinese"));
    m_english = languages->addAction(QString());
    m_english->setObjectName(QStringLiteral("action_language_english"));
    for (QAction *action : { m_chinese, m_english }) {
        action->setCheckable(true);
        m_languageMenu->addAction(action);
    }
    m_chinese->setChecked(true);
    retranslateMenus();
}

// The languages are named in their own words, in either language.
void WindowPreferences::retranslateMenus()
{
    m_portMenu->setTitle(QCoreApplication::translate("MainWindow", "串口"));
    m_autoReconnect->setText(QCoreApplication::translate("MainWindow", "自动重连"));
    m_languageMenu->setTitle(QCoreApplication::translate("MainWindow", "语言 / Language"));
    m_chinese->setText(QStringLiteral("中文"));
    m_english->setText(QStringLiteral("English"));
}

void WindowPreferences::restore()
{
    m_window->restoreGeometry(m_settings.value(geometryKey).toByteArray());
    m_window->restoreState(m_settings.value(stateKey).toByteArray());
    {
        // A mode put back is no switch by the user, so it makes no line.
        const QSignalBlocker quiet(m_ui->checkBox_send_in_HEX);
        m_ui->checkBox_send_in_HEX->setChecked(m_settings.value(hexModeKey, false).toBool());
    }
    m_ui->lineEdit_file_path->setText(m_settings.value(imagePathKey).toString());
    m_ui->action_autoscale_y->setChecked(m_settings.value(autoscaleKey, false).toBool());
    const bool autoReconnect = m_settings.value(autoReconnectKey, false).toBool();
    m_autoReconnect->setChecked(autoReconnect);
    m_session->setReconnectEnabled(autoReconnect);

    // Whatever the system's locale, the console speaks Chinese unless asked.
    if (m_settings.value(languageKey).toString() == english) {
        const QSignalBlocker quiet(m_english);
        m_english->setChecked(true);
        applyLanguage(true, false);
    }
}

// A port that is not there leaves the selector on the entry it chose itself.
std::optional<QString> WindowPreferences::rememberedPortIn(const QList<PortRecord> &ports) const
{
    const PortIdentity port = m_settings.port();
    if (port.isEmpty())
        return std::nullopt;
    if (const std::optional<PortRecord> listed = port.findIn(ports))
        return listed->portName;
    return std::nullopt;
}

void WindowPreferences::save(const PortIdentity &selectedPort)
{
    m_settings.setValue(geometryKey, m_window->saveGeometry());
    m_settings.setValue(stateKey, m_window->saveState());
    if (!selectedPort.isEmpty())
        m_settings.setPort(selectedPort);
}

QString WindowPreferences::lastFolder() const
{
    // Kept for this run too, where no settings file is (a program that names no
    // organisation, such as the tests).
    const QString folder = !m_lastFolder.isEmpty()
        ? m_lastFolder
        : m_settings.value(QLatin1String(ConsoleSettings::lastFolderKey)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void WindowPreferences::rememberFolderOf(const QString &filePath)
{
    m_lastFolder = QFileInfo(filePath).absolutePath();
    m_settings.setValue(QLatin1String(ConsoleSettings::lastFolderKey), m_lastFolder);
}

// The form's texts and the menus change at once; lines already in the log pane stay.
void WindowPreferences::applyLanguage(bool english, bool keepLog)
{
    if (english) {
        if (m_translator.isEmpty() && !m_translator.load(QLatin1String(ConsoleLanguage::englishTranslation)))
            return;
        QCoreApplication::installTranslator(&m_translator);
    } else {
        QCoreApplication::removeTranslator(&m_translator);
    }
    if (!keepLog) {
        m_ui->retranslateUi(m_window);
        retranslateMenus();
        return;
    }
    // The form's texts include the log pane's first paragraph, and putting it back
    // would wipe the log: the pane lends a scratch document meanwhile. The log's
    // document leaves the pane's ownership first, as the pane deletes a child
    // document it lets go of.
    QTextBrowser *const pane = m_ui->textBrowser_logout;
    QTextDocument *const log = pane->document();
    log->setParent(this);
    QTextDocument scratch;
    pane->setDocument(&scratch);
    m_ui->retranslateUi(m_window);
    pane->setDocument(log);
    log->setParent(pane);
    retranslateMenus();
}
