#include "gui/windowpreferences.h"

#include "core/consolelanguage.h"
#include "gui/logpane.h"
#include "link/boardsession.h"
#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QSignalBlocker>
#include <QTextDocument>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

const QString imagePathKey = QStringLiteral("image/path");
const QString hexModeKey = QStringLiteral("send/hexMode");
const QString autoReconnectKey = QStringLiteral("port/autoReconnect");
const QString autoscaleKey = QStringLiteral("chart/autoscaleY");
const QString interlockKey = QStringLiteral("limits/interlock");
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
    , m_log(log)
{
    createMenus();
    restore();
    if (!m_settings.problemLine().isEmpty())
        log->appendLine(m_settings.problemLine());
    // A settings place that cannot be written is said now, not found out at the next start.
    saveNow();
    m_saveTimer.setSingleShot(true);
    connect(&m_saveTimer, &QTimer::timeout, this, &WindowPreferences::saveNow);

    connect(m_autoReconnect, &QAction::toggled, this, [this](bool on) {
        m_session->setReconnectEnabled(on);
        store(autoReconnectKey, on);
    });
    connect(m_english, &QAction::toggled, this, [this](bool on) {
        store(languageKey, on ? english : QString());
        applyLanguage(on, true);
    });
    connect(m_ui->checkBox_send_in_HEX, &QCheckBox::toggled, this, [this](bool on) { store(hexModeKey, on); });
    connect(m_ui->action_autoscale_y, &QAction::toggled, this, [this](bool on) { store(autoscaleKey, on); });
    connect(m_ui->action_interlock, &QAction::toggled, this, [this](bool on) { store(interlockKey, on); });
    connect(m_ui->lineEdit_file_path, &QLineEdit::textChanged, this,
            [this](const QString &path) { store(imagePathKey, path); });
}

void WindowPreferences::store(const QString &key, const QVariant &value)
{
    m_settings.setValue(key, value);
    m_saveTimer.start();
}

void WindowPreferences::saveNow()
{
    const QString problem = m_settings.save();
    if (problem.isEmpty())
        return;
    qDebug().noquote() << problem;
    m_log->appendLine(problem);
}

void WindowPreferences::createMenus()
{
    m_portMenu = m_ui->menubar->addMenu(QString());
    m_portMenu->setObjectName(QStringLiteral("menu_port"));
    m_autoReconnect = m_portMenu->addAction(QString());
    m_autoReconnect->setObjectName(QStringLiteral("action_auto_reconnect"));
    m_autoReconnect->setCheckable(true);
    m_mqtt = m_portMenu->addAction(QString());
    m_mqtt->setObjectName(QStringLiteral("action_mqtt"));
    m_mqtt->setCheckable(true);

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
    m_mqtt->setText(QCoreApplication::translate("MainWindow", "发布到 MQTT…"));
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
    m_ui->action_interlock->setChecked(m_settings.value(interlockKey, false).toBool());
    const bool autoReconnect = m_settings.value(autoReconnectKey, false).toBool();
    m_autoReconnect->setChecked(autoReconnect);
    m_session->setReconnectEnabled(autoReconnect);

    // Whatever the system's locale, the console speaks Chinese unless asked.
    if (m_settings.value(languageKey).toString() == english) {
        const QSignalBlocker quiet(m_english);
        m_english->setChecked(true);
        applyLanguage(true, false);
    } else {
        fitTextsInForm();
    }
}

// A port that is not there leaves the selector on the entry it chose itself.
std::optional<QString> WindowPreferences::rememberedPortIn(const QList<PortRecord> &ports) const
{
    const std::optional<PortRecord> listed = m_settings.port().findIn(ports);
    return listed ? std::optional<QString>(listed->portName) : std::nullopt;
}

void WindowPreferences::save(const PortIdentity &selectedPort)
{
    m_saveTimer.stop();
    m_settings.setValue(geometryKey, m_window->saveGeometry());
    m_settings.setValue(stateKey, m_window->saveState());
    if (!selectedPort.isEmpty())
        m_settings.setPort(selectedPort);
    const QString problem = m_settings.save();
    if (!problem.isEmpty())
        qWarning().noquote() << problem;
}

void WindowPreferences::rememberLimits(const CurveLimits::Set &limits)
{
    m_settings.setLimits(limits);
    m_saveTimer.start();
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
    store(QLatin1String(ConsoleSettings::lastFolderKey), m_lastFolder);
}

void WindowPreferences::rememberTrigger(const ChartTrigger::Settings &trigger)
{
    m_settings.setTrigger(trigger);
    m_saveTimer.start();
}

void WindowPreferences::rememberMqtt(const MqttChoices &choices)
{
    m_settings.setMqtt(choices);
    m_saveTimer.start();
}

// The form's texts and the menus change at once.
void WindowPreferences::applyLanguage(bool english, bool keepContents)
{
    if (english) {
        if (m_translator.isEmpty() && !m_translator.load(QLatin1String(ConsoleLanguage::englishTranslation)))
            return;
        QCoreApplication::installTranslator(&m_translator);
    } else {
        QCoreApplication::removeTranslator(&m_translator);
    }
    if (keepContents)
        retranslateKeepingContents();
    else
        m_ui->retranslateUi(m_window);
    retranslateMenus();
    fitTextsInForm();
}

// The form's texts include the contents it gives its text boxes: putting them back
// would wipe what the user typed and the log. Each text box that holds more than
// the form gave it lends retranslateUi a
// scratch document and gets its own back, with its undo history, cursor and view;
// its document leaves the box's ownership meanwhile, as a box deletes a child
// document it lets go of. A line edit gets its text back.
void WindowPreferences::retranslateKeepingContents()
{
    struct Lent
    {
        QTextEdit *box;
        QTextDocument *document;
        QObject *owner;
        QTextCursor cursor;
        QPoint view;
        std::unique_ptr<QTextDocument> scratch;
    };
    std::vector<Lent> lent;
    const QList<QTextEdit *> boxes = m_window->findChildren<QTextEdit *>();
    for (QTextEdit *box : boxes) {
        // The form's own text, untouched, follows the language.
        if (!box->isReadOnly() && !box->document()->isModified())
            continue;
        QTextDocument *const document = box->document();
        lent.push_back({ box, document, document->parent(), box->textCursor(),
                         QPoint(box->horizontalScrollBar()->value(), box->verticalScrollBar()->value()),
                         std::make_unique<QTextDocument>() });
        document->setParent(this);
        box->setDocument(lent.back().scratch.get());
    }
    QList<std::pair<QLineEdit *, QString>> lines;
    const QList<QLineEdit *> edits = m_window->findChildren<QLineEdit *>();
    for (QLineEdit *edit : edits)
        lines.append({ edit, edit->text() });

    m_ui->retranslateUi(m_window);

    for (const auto &[edit, text] : std::as_const(lines)) {
        if (edit->text() != text)
            edit->setText(text);
    }
    for (const Lent &kept : lent) {
        kept.box->setDocument(kept.document);
        kept.document->setParent(kept.owner);
        kept.box->setTextCursor(kept.cursor);
        kept.box->horizontalScrollBar()->setValue(kept.view.x());
        kept.box->verticalScrollBar()->setValue(kept.view.y());
    }
}

namespace {

// How much wider a control must be to show its text whole: a push button draws
// its text within its contents rectangle, inside the frame; a caption or a check
// box says what it needs in its size hint.
int missingWidth(QWidget *control)
{
    control->ensurePolished();
    if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        return button->fontMetrics().horizontalAdvance(button->text()) - room;
    }
    return control->sizeHint().width() - control->width();
}

} // namespace

// The control panel places its captions and buttons at fixed rectangles sized for
// the Chinese texts. A text that needs more room (English, a platform's wider font)
// grows its control to the right, into the free space before the next control or
// the edge, never over another control. Every fit starts from the form's own
// rectangles, so a window back in Chinese is as the form made it.
void WindowPreferences::fitTextsInForm()
{
    if (m_formRectangles.isEmpty()) {
        for (QWidget *board : { static_cast<QWidget *>(m_ui->groupBox_3), static_cast<QWidget *>(m_ui->groupBox_4) }) {
            const QList<QWidget *> controls = board->findChildren<QWidget *>();
            for (QWidget *control : controls) {
                if ((qobject_cast<QLabel *>(control) || qobject_cast<QAbstractButton *>(control))
                    && !control->parentWidget()->layout())
                    m_formRectangles.append({ control, control->geometry() });
            }
        }
    }
    for (const auto &[control, rectangle] : std::as_const(m_formRectangles))
        control->setGeometry(rectangle);
    for (const auto &[control, rectangle] : std::as_const(m_formRectangles)) {
        const int missing = missingWidth(control);
        if (missing <= 0)
            continue;
        const QWidget *const parent = control->parentWidget();
        int room = parent->contentsRect().right() - rectangle.right();
        const QList<QWidget *> siblings = parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (const QWidget *sibling : siblings) {
            const QRect other = sibling->geometry();
            if (sibling != control && other.left() > rectangle.right() && other.top() <= rectangle.bottom()
                && other.bottom() >= rectangle.top())
                room = std::min(room, other.left() - rectangle.right() - 1);
        }
        control->resize(rectangle.width() + std::clamp(missing, 0, std::max(room, 0)), rectangle.height());
    }
}
