#include <QtTest>

#include <QApplication>
#include <QChartView>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextEdit>

#include "ui_mainwindow.h"

#include <optional>

namespace {

const QString songFamily = QStringLiteral("宋体");

using MemberAccess = QObject *(*)(const Ui::MainWindow &);

// Every table row names the holder member and reaches the object through it, so a row
// also proves that the member points at the object carrying the member's name.
#define FORM_MEMBER(name) #name, [](const Ui::MainWindow &form) -> QObject * { return form.name; }

struct FontPreset
{
    int pointSize; // 0: the size is left to the application's default
    bool bold;
};

constexpr FontPreset familyOnlyFont { 0, false };
constexpr FontPreset largeFont { 16, false };
constexpr FontPreset largeBoldFont { 16, true };
constexpr FontPreset mediumFont { 12, false };
constexpr FontPreset sliderFont { 20, false };

// One object of the form: its class and parent, and where the form gives them, its
// fixed place, its text (the title of a group box) and its own font; a widget
// without a font sets none of its own.
struct FormObject
{
    const char *member;
    MemberAccess object;
    const char *className;
    const char *parent;
    QRect geometry = {};
    const char *text = nullptr;
    std::optional<FontPreset> font = std::nullopt;
};

// Declaration order, which is also the creation order.
const FormObject formObjects[] = {
    { FORM_MEMBER(centralwidget), "QWidget", "MainWindow" },
    { FORM_MEMBER(gridLayout), "QGridLayout", "centralwidget" },
    { FORM_MEMBER(groupBox_2), "QGroupBox", "centralwidget", {}, "状态", familyOnlyFont },
    { FORM_MEMBER(gridLayout_2), "QGridLayout", "groupBox_2" },
    { FORM_MEMBER(tabWidget), "QTabWidget", "groupBox_2", {}, nullptr, familyOnlyFont },
    { FORM_MEMBER(power_moniter), "QChartView", "tabWidget" },
    { FORM_MEMBER(tab_2), "QWidget", "tabWidget" },
    { FORM_MEMBER(textBrowser_logout), "QTextBrowser", "groupBox_2" },
    { FORM_MEMBER(pushButton_uart_send), "QPushButton", "groupBox_2", {}, "发送", largeFont },
    { FORM_MEMBER(textEdit_uart_send), "QTextEdit", "groupBox_2" },
    { FORM_MEMBER(groupBox_4), "QGroupBox", "groupBox_2", {}, "发送配置" },
    { FORM_MEMBER(checkBox_send_in_HEX), "QCheckBox", "groupBox_4", QRect(10, 10, 60, 21), "HEX" },
    { FORM_MEMBER(checkBox_2), "QCheckBox", "groupBox_4", QRect(10, 30, 60, 21), "\\r\\n" },
    { FORM_MEMBER(groupBox_3), "QGroupBox", "centralwidget", {}, "配置", familyOnlyFont },
    { FORM_MEMBER(groupBox_5), "QGroupBox", "groupBox_3", QRect(10, 260, 161, 121), "AD配置", familyOnlyFont },
    { FORM_MEMBER(pushButton_AD_read_reg), "QPushButton", "groupBox_5", QRect(90, 30, 61, 31), "读寄存器", familyOnlyFont },
    { FORM_MEMBER(lineEdit_AD_addr), "QLineEdit", "groupBox_5", QRect(10, 30, 71, 31), "" },
    { FORM_MEMBER(label), "QLabel", "groupBox_5", QRect(10, 20, 40, 12), "地址0x", familyOnlyFont },
    { FORM_MEMBER(lineEdit_AD_data), "QLineEdit", "groupBox_5", QRect(10, 80, 71, 31), "" },
    { FORM_MEMBER(pushButton_AD_write_reg), "QPushButton", "groupBox_5", QRect(90, 80, 61, 31), "写寄存器", familyOnlyFont },
    { FORM_MEMBER(label_2), "QLabel", "groupBox_5", QRect(10, 70, 40, 12), "数据0x", familyOnlyFont },
    { FORM_MEMBER(comboBox_port), "QComboBox", "groupBox_3", QRect(10, 30, 161, 41) },
    { FORM_MEMBER(pushButton_portOpen), "QPushButton", "groupBox_3", QRect(220, 30, 61, 41), "open", largeFont },
    { FORM_MEMBER(groupBox), "QGroupBox", "groupBox_3", QRect(10, 390, 341, 211), "在线升级", familyOnlyFont },
    { FORM_MEMBER(progressBar_flash), "QProgressBar", "groupBox", QRect(10, 160, 251, 31) },
    { FORM_MEMBER(pushButton_flash), "QPushButton", "groupBox", QRect(270, 160, 61, 31), "烧录", largeBoldFont },
    { FORM_MEMBER(pushButton_open_File), "QPushButton", "groupBox", QRect(270, 20, 61, 31), "打开文件", familyOnlyFont },
    { FORM_MEMBER(lineEdit_file_path), "QLineEdit", "groupBox", QRect(10, 20, 251, 31), "" },
    { FORM_MEMBER(pushButton_jump_to_APP), "QPushButton", "groupBox", QRect(60, 100, 61, 31), "跳转APP", familyOnlyFont },
    { FORM_MEMBER(spinBox_erase_APP), "QSpinBox", "groupBox", QRect(10, 60, 51, 31) },
    { FORM_MEMBER(pushButton_erase_APP), "QPushButton", "groupBox", QRect(60, 60, 61, 31), "擦除APP", familyOnlyFont },
    { FORM_MEMBER(spinBox_jump_to_APP), "QSpinBox", "groupBox", QRect(10, 100, 51, 31) },
    { FORM_MEMBER(pushButton_ARM_reset), "QPushButton", "groupBox", QRect(270, 60, 61, 31), "ARM复位", familyOnlyFont },
    { FORM_MEMBER(pushButton_21), "QPushButton", "groupBox", QRect(130, 60, 61, 31), "未定义", familyOnlyFont },
    { FORM_MEMBER(pushButton_22), "QPushButton", "groupBox", QRect(130, 100, 61, 31), "未定义", familyOnlyFont },
    { FORM_MEMBER(pushButton_23), "QPushButton", "groupBox", QRect(200, 100, 61, 31), "未定义", familyOnlyFont },
    { FORM_MEMBER(pushButton_24), "QPushButton", "groupBox", QRect(200, 60, 61, 31), "未定义", familyOnlyFont },
    { FORM_MEMBER(pushButton_25), "QPushButton", "groupBox", QRect(270, 100, 61, 31), "未定义", familyOnlyFont },
    { FORM_MEMBER(pushButton_port_refresh), "QPushButton", "groupBox_3", QRect(170, 30, 41, 41), "刷新" },
    { FORM_MEMBER(pushButton_portClose), "QPushButton", "groupBox_3", QRect(290, 30, 61, 41), "close", largeFont },
    { FORM_MEMBER(groupBox_6), "QGroupBox", "groupBox_3", QRect(190, 260, 161, 121), "DA配置", familyOnlyFont },
    { FORM_MEMBER(pushButton_DA_read_reg), "QPushButton", "groupBox_6", QRect(90, 30, 61, 31), "读寄存器", familyOnlyFont },
    { FORM_MEMBER(lineEdit_DA_addr), "QLineEdit", "groupBox_6", QRect(10, 30, 71, 31), "" },
    { FORM_MEMBER(label_5), "QLabel", "groupBox_6", QRect(10, 20, 40, 12), "地址0x", familyOnlyFont },
    { FORM_MEMBER(lineEdit_DA_data), "QLineEdit", "groupBox_6", QRect(10, 80, 71, 31), "" },
    { FORM_MEMBER(pushButton_DA_write_reg), "QPushButton", "groupBox_6", QRect(90, 80, 61, 31), "写寄存器", familyOnlyFont },
    { FORM_MEMBER(label_6), "QLabel", "groupBox_6", QRect(10, 70, 40, 12), "数据0x", familyOnlyFont },
    { FORM_MEMBER(pushButton_GPU_power_on), "QPushButton", "groupBox_3", QRect(10, 90, 101, 41), "GPU上电", largeFont },
    { FORM_MEMBER(pushButton_GPU_power_off), "QPushButton", "groupBox_3", QRect(120, 90, 101, 41), "GPU断电", largeFont },
    { FORM_MEMBER(checkBox_GPU_power_draw), "QCheckBox", "groupBox_3", QRect(230, 90, 121, 41), "曲线绘制", mediumFont },
    { FORM_MEMBER(verticalSlider_GPU_FAN_speed), "QSlider", "groupBox_3", QRect(329, 89, 21, 151), nullptr, sliderFont },
    { FORM_MEMBER(label_3), "QLabel", "groupBox_3", QRect(300, 239, 61, 31), "散热风扇" },
    { FORM_MEMBER(pushButton_AD_init), "QPushButton", "groupBox_3", QRect(10, 140, 101, 41), "AD初始化", largeFont },
    { FORM_MEMBER(pushButton_DA_init), "QPushButton", "groupBox_3", QRect(120, 140, 101, 41), "DA初始化", largeFont },
    { FORM_MEMBER(menubar), "QMenuBar", "MainWindow" },
    { FORM_MEMBER(statusbar), "QStatusBar", "MainWindow" },
};

struct GridPlacement
{
    const char *member;
    MemberAccess object;
    int row;
    int column;
    int rowSpan;
    int columnSpan;
};

const GridPlacement gridPlacements[] = {
    { FORM_MEMBER(groupBox_2), 0, 1, 2, 1 },
    { FORM_MEMBER(tabWidget), 0, 1, 1, 3 },
    { FORM_MEMBER(textBrowser_logout), 1, 1, 1, 3 },
    { FORM_MEMBER(pushButton_uart_send), 2, 3, 1, 1 },
    { FORM_MEMBER(textEdit_uart_send), 2, 1, 1, 1 },
    { FORM_MEMBER(groupBox_4), 2, 2, 1, 1 },
    { FORM_MEMBER(groupBox_3), 0, 0, 2, 1 },
};

struct PolicyPreset
{
    QSizePolicy::Policy horizontal;
    QSizePolicy::Policy vertical;
    int horizontalStretch;
    int verticalStretch;
};

constexpr PolicyPreset statusPanelPolicy { QSizePolicy::Expanding, QSizePolicy::Expanding, 5, 0 };
constexpr PolicyPreset tallPanePolicy { QSizePolicy::Expanding, QSizePolicy::Expanding, 0, 6 };
constexpr PolicyPreset sendButtonPolicy { QSizePolicy::Expanding, QSizePolicy::Expanding, 1, 0 };
constexpr PolicyPreset sendEditorPolicy { QSizePolicy::Expanding, QSizePolicy::Expanding, 5, 1 };
constexpr PolicyPreset sendOptionsPolicy { QSizePolicy::Expanding, QSizePolicy::Expanding, 1, 1 };
constexpr PolicyPreset controlGroupPolicy { QSizePolicy::Minimum, QSizePolicy::Minimum, 0, 0 };
constexpr PolicyPreset progressPolicy { QSizePolicy::Expanding, QSizePolicy::Fixed, 0, 0 };

struct PolicyAssignment
{
    const char *member;
    MemberAccess object;
    PolicyPreset policy;
};

const PolicyAssignment policyAssignments[] = {
    { FORM_MEMBER(groupBox_2), statusPanelPolicy },
    { FORM_MEMBER(tabWidget), tallPanePolicy },
    { FORM_MEMBER(textBrowser_logout), tallPanePolicy },
    { FORM_MEMBER(pushButton_uart_send), sendButtonPolicy },
    { FORM_MEMBER(textEdit_uart_send), sendEditorPolicy },
    { FORM_MEMBER(groupBox_4), sendOptionsPolicy },
    { FORM_MEMBER(groupBox_3), controlGroupPolicy },
    { FORM_MEMBER(groupBox_5), controlGroupPolicy },
    { FORM_MEMBER(groupBox_6), controlGroupPolicy },
    { FORM_MEMBER(progressBar_flash), progressPolicy },
};

// The widgets outside both panels inherit nothing from the form's fonts.
const QByteArrayList widgetsOutsidePanels { "centralwidget", "menubar", "statusbar" };

// The minimum sizes the form sets; every other widget has none.
const QHash<QByteArray, QSize> minimumSizes { { "groupBox_3", QSize(360, 191) },
                                              { "progressBar_flash", QSize(20, 20) } };

// What the form leaves every control of a class at; a check box that is not
// tristate is unchecked exactly when it is not checked.
const QHash<QByteArray, QVariantMap> propertiesByClass {
    { "QSpinBox", { { "minimum", 0 }, { "maximum", 99 }, { "singleStep", 1 }, { "value", 0 } } },
    { "QSlider", { { "orientation", QVariant::fromValue(Qt::Vertical) }, { "minimum", 0 }, { "maximum", 99 },
                   { "singleStep", 1 }, { "pageStep", 10 }, { "value", 0 },
                   { "tickPosition", QVariant::fromValue(QSlider::NoTicks) } } },
    { "QProgressBar", { { "minimum", 0 }, { "maximum", 100 }, { "value", 24 } } },
    { "QCheckBox", { { "tristate", false }, { "checked", false } } },
    { "QComboBox", { { "count", 0 }, { "currentIndex", -1 }, { "editable", false } } },
    { "QLineEdit", { { "readOnly", false }, { "placeholderText", QString() }, { "inputMask", QString() },
                     { "maxLength", 32767 } } },
};

struct FormText
{
    const char *member;
    MemberAccess object;
    const char *property;
    const char *text;
};

// The menus' texts; the widgets' stand in the table above.
const FormText menuTexts[] = {
    { FORM_MEMBER(menu_file), "title", "文件" },
    { FORM_MEMBER(action_save_log), "text", "保存日志…" },
    { FORM_MEMBER(action_record_telemetry), "text", "记录遥测…" },
    { FORM_MEMBER(action_capture_raw), "text", "记录原始数据…" },
    { FORM_MEMBER(action_quit), "text", "退出" },
    { FORM_MEMBER(menu_view), "title", "视图" },
    { FORM_MEMBER(action_pause_chart), "text", "暂停曲线" },
    { FORM_MEMBER(action_autoscale_y), "text", "纵轴自适应" },
    { FORM_MEMBER(action_reset_chart_view), "text", "重置视图" },
    { FORM_MEMBER(action_limits), "text", "限值…" },
    { FORM_MEMBER(action_interlock), "text", "越限时关闭GPU电源" },
    { FORM_MEMBER(action_clear_cursors), "text", "清除光标" },
    { FORM_MEMBER(action_copy_range), "text", "复制区间" },
    { FORM_MEMBER(action_clear_log), "text", "清空日志" },
    { FORM_MEMBER(action_trigger), "text", "触发…" },
    { FORM_MEMBER(action_trigger_arm), "text", "触发待命" },
};

#undef FORM_MEMBER

// A tab page's QObject parent is the tab widget's internal page stack; the form places
// the page in the tab widget itself.
QObject *formParent(const QObject *object)
{
    QObject *const parent = object->parent();
    if (qobject_cast<QStackedWidget *>(parent) && qobject_cast<QTabWidget *>(parent->parent()))
        return parent->parent();
    return parent;
}

// One data row for each table row, named after its member.
template <typename Row, std::size_t Count>
void addRows(const Row (&rows)[Count])
{
    QTest::addColumn<const Row *>("row");
    for (const Row &row : rows)
        QTest::newRow(row.member) << &row;
}

} // namespace

Q_DECLARE_METATYPE(const FormObject *)
Q_DECLARE_METATYPE(const GridPlacement *)
Q_DECLARE_METATYPE(const PolicyAssignment *)
Q_DECLARE_METATYPE(const FormText *)

// Records the handlers that the form binds by name.
class HandlerProbe : public QMainWindow
{
    Q_OBJECT

public:
    int flashClicks = 0;
    QList<int> drawStates;

private slots:
    void on_pushButton_flash_clicked() { ++flashClicks; }
    void on_checkBox_GPU_power_draw_stateChanged(int state) { drawStates.append(state); }
};

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void formObject_data();
    void formObject();
    void creationOrder_data();
    void creationOrder();
    void gridCell_data();
    void gridCell();
    void sizePolicy_data();
    void sizePolicy();
    void menuText_data();
    void menuText();

    void window();
    void keepsExistingWindowName();
    void tabs();
    void initialDocument_data();
    void initialDocument();
    void bindsHandlersByName();

private:
    QMainWindow mainWindow;
    Ui::MainWindow ui;
};

void TestForm::initTestCase()
{
    ui.setupUi(&mainWindow);
}

void TestForm::formObject_data()
{
    addRows(formObjects);
}

// Each object the form makes: its class, name and parent, and for a widget its fixed
// place, its text, its minimum size, its font and what it leaves the control at.
void TestForm::formObject()
{
    QFETCH(const FormObject *, row);
    QObject *const object = row->object(ui);

    QVERIFY(object);
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), QString::fromLatin1(row->className));
    QCOMPARE(object->objectName(), QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(formParent(object));
    QCOMPARE(formParent(object)->objectName(), QString::fromLatin1(row->parent));
    const auto *const widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return;

    if (row->geometry.isValid()) {
        QVERIFY2(!widget->parentWidget()->layout(), "a fixed position needs a parent without layout");
        QCOMPARE(widget->geometry(), row->geometry);
    }
    if (row->text) {
        const QVariant text = object->property(qstrcmp(row->className, "QGroupBox") == 0 ? "title" : "text");
        QVERIFY(text.isValid());
        QCOMPARE(text.toString(), QString::fromUtf8(row->text));
    }
    QCOMPARE(widget->minimumSize(), minimumSizes.value(row->member, QSize(0, 0)));

    const QFont widgetFont = widget->font();
    QCOMPARE(widget->testAttribute(Qt::WA_SetFont), row->font.has_value());
    // Inside the two panels every font is set on the widget or propagated from a panel.
    if (!widgetsOutsidePanels.contains(row->member))
        QCOMPARE(widgetFont.families(), QStringList{songFamily});
    // No font in the form sets a size without this widget's own preset doing so, so an
    // unset size is the application's default for the widget's class.
    const int pointSize = row->font ? row->font->pointSize : 0;
    QCOMPARE(widgetFont.pointSize(), pointSize > 0 ? pointSize : QApplication::font(widget).pointSize());
    QCOMPARE(widgetFont.bold(), row->font && row->font->bold);
    QVERIFY(widgetFont.kerning());

    const QVariantMap expected = propertiesByClass.value(row->className);
    for (auto property = expected.cbegin(); property != expected.cend(); ++property) {
        const QVariant actual = object->property(qPrintable(property.key()));
        const QString mismatch = QStringLiteral("%1 is %2, not %3")
                                         .arg(property.key(), actual.toString(), property.value().toString());
        QVERIFY2(actual == property.value(), qPrintable(mismatch));
    }
    // The window installs the register fields' validator after the form is built.
    if (const auto *const lineEdit = qobject_cast<const QLineEdit *>(object))
        QVERIFY(!lineEdit->validator());
}

void TestForm::creationOrder_data()
{
    QTest::addColumn<QObject *>("parent");
    QTest::addColumn<QStringList>("expectedChildren");

    // Parents in the order they first appear, each with its form children in order.
    QList<QPair<QObject *, QStringList>> families;
    for (const FormObject &entry : formObjects) {
        QObject *const parent = entry.object(ui)->parent();
        auto family = std::find_if(families.begin(), families.end(),
                                   [parent](const auto &known) { return known.first == parent; });
        if (family == families.end())
            family = families.insert(families.end(), { parent, QStringList() });
        family->second.append(QString::fromLatin1(entry.member));
    }
    for (const auto &[parent, children] : std::as_const(families)) {
        const QObject *const formContainer =
                formParent(parent->findChild<QObject *>(children.constFirst()));
        const QByteArray tag = formContainer == parent
                ? parent->objectName().toLatin1()
                : formContainer->objectName().toLatin1() + " pages";
        QTest::newRow(tag.constData()) << parent << children;
    }
}

void TestForm::creationOrder()
{
    QFETCH(QObject *, parent);
    QFETCH(QStringList, expectedChildren);

    QStringList formChildren;
    const auto collect = [&](const QObject *child) {
        if (expectedChildren.contains(child->objectName()))
            formChildren.append(child->objectName());
    };
    if (const auto *const pages = qobject_cast<QStackedWidget *>(parent)) {
        // The page stack raises its current page above the others, so pages keep their
        // creation order only as page indices.
        for (int index = 0; index < pages->count(); ++index)
            collect(pages->widget(index));
    } else {
        // Qt keeps children in the order they were parented, which is also the stacking
        // order of sibling widgets; the form raises nothing.
        for (const QObject *child : parent->children())
            collect(child);
    }
    QCOMPARE(formChildren, expectedChildren);
}

void TestForm::gridCell_data()
{
    addRows(gridPlacements);
}

void TestForm::gridCell()
{
    QFETCH(const GridPlacement *, row);

    auto *const widget = qobject_cast<QWidget *>(row->object(ui));
    QVERIFY(widget);
    auto *const grid = qobject_cast<QGridLayout *>(widget->parentWidget()->layout());
    QVERIFY(grid);
    QVERIFY(grid == ui.gridLayout || grid == ui.gridLayout_2);

    const int index = grid->indexOf(widget);
    QVERIFY(index >= 0);
    int actualRow = -1, actualColumn = -1, actualRowSpan = 0, actualColumnSpan = 0;
    grid->getItemPosition(index, &actualRow, &actualColumn, &actualRowSpan, &actualColumnSpan);
    QCOMPARE(QList<int>({ actualRow, actualColumn, actualRowSpan, actualColumnSpan }),
             QList<int>({ row->row, row->column, row->rowSpan, row->columnSpan }));
    QCOMPARE(grid->itemAt(index)->alignment(), Qt::Alignment());
}

void TestForm::sizePolicy_data()
{
    addRows(policyAssignments);
}

void TestForm::sizePolicy()
{
    QFETCH(const PolicyAssignment *, row);

    const auto *const widget = qobject_cast<QWidget *>(row->object(ui));
    QVERIFY(widget);
    const QSizePolicy policy = widget->sizePolicy();
    QCOMPARE(policy.horizontalPolicy(), row->policy.horizontal);
    QCOMPARE(policy.verticalPolicy(), row->policy.vertical);
    QCOMPARE(policy.horizontalStretch(), row->policy.horizontalStretch);
    QCOMPARE(policy.verticalStretch(), row->policy.verticalStretch);
    // None of these classes trades height for width, and the form keeps the class's flag.
    QVERIFY(!policy.hasHeightForWidth());
}

void TestForm::menuText_data()
{
    addRows(menuTexts);
}

void TestForm::menuText()
{
    QFETCH(const FormText *, row);

    const QVariant value = row->object(ui)->property(row->property);
    QVERIFY(value.isValid());
    QCOMPARE(value.toString(), QString::fromUtf8(row->text));
}

void TestForm::window()
{
    QCOMPARE(mainWindow.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(mainWindow.size(), QSize(991, 653));
    QCOMPARE(mainWindow.windowTitle(), QStringLiteral("MainWindow"));
    QCOMPARE(mainWindow.minimumSize(), QSize(0, 0));
    QCOMPARE(mainWindow.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QCOMPARE(mainWindow.styleSheet(), QString());

    QCOMPARE(mainWindow.centralWidget(), ui.centralwidget);
    QCOMPARE(ui.centralwidget->layout(), ui.gridLayout);
    QCOMPARE(ui.groupBox_2->layout(), ui.gridLayout_2);
    QCOMPARE(ui.gridLayout->count(), 2);
    QCOMPARE(ui.gridLayout_2->count(), 5);

    QCOMPARE(mainWindow.menuBar(), ui.menubar);
    QCOMPARE(ui.menubar->geometry(), QRect(0, 0, 991, 17));
    const QList<QAction *> menus { ui.menu_file->menuAction(), ui.menu_view->menuAction() };
    QCOMPARE(ui.menubar->actions(), menus);
    const auto named = [](const QList<QAction *> &actions) {
        QStringList names;
        for (const QAction *action : actions)
            names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        return names;
    };
    QCOMPARE(named(ui.menu_file->actions()),
             QStringList({ "action_save_log", "action_record_telemetry", "action_capture_raw", "-", "action_quit" }));
    QCOMPARE(named(ui.menu_view->actions()), QStringList({ "action_pause_chart", "action_autoscale_y",
                                                           "action_reset_chart_view", "action_clear_cursors",
                                                           "action_copy_range", "-", "action_limits",
                                                           "action_interlock", "-", "action_trigger",
                                                           "action_trigger_arm", "-", "action_clear_log" }));
    QStringList checkable;
    for (const QAction *action : ui.menu_file->actions() + ui.menu_view->actions()) {
        if (action->isCheckable())
            checkable << action->objectName();
        QVERIFY(!action->isChecked());
    }
    QCOMPARE(checkable, QStringList({ "action_record_telemetry", "action_capture_raw", "action_pause_chart",
                                      "action_autoscale_y", "action_interlock", "action_trigger_arm" }));
    QCOMPARE(ui.action_pause_chart->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    QCOMPARE(ui.action_trigger_arm->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));
    QCOMPARE(mainWindow.statusBar(), ui.statusbar);
    QCOMPARE(ui.statusbar->currentMessage(), QString());
}

void TestForm::keepsExistingWindowName()
{
    QMainWindow named;
    named.setObjectName(QStringLiteral("benchWindow"));
    Ui::MainWindow form;
    form.setupUi(&named);
    QCOMPARE(named.objectName(), QStringLiteral("benchWindow"));
}

void TestForm::tabs()
{
    QCOMPARE(ui.tabWidget->count(), 2);
    QCOMPARE(ui.tabWidget->currentIndex(), 0);
    QCOMPARE(ui.tabWidget->currentWidget(), ui.power_moniter);
    QCOMPARE(ui.tabWidget->widget(0), ui.power_moniter);
    QCOMPARE(ui.tabWidget->widget(1), ui.tab_2);
    QCOMPARE(ui.tabWidget->tabText(0), QStringLiteral("功耗监测"));
    QCOMPARE(ui.tabWidget->tabText(1), QStringLiteral("更多功能"));

    QVERIFY(!ui.tab_2->layout());
    QVERIFY(ui.tab_2->children().isEmpty());
}

void TestForm::initialDocument_data()
{
    QTest::addColumn<QTextEdit *>("editor");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readOnly");

    QTest::newRow("textBrowser_logout") << static_cast<QTextEdit *>(ui.textBrowser_logout)
                                        << QStringLiteral("串口报文") << true;
    QTest::newRow("textEdit_uart_send") << ui.textEdit_uart_send << QStringLiteral("命令发送")
                                        << false;
}

void TestForm::initialDocument()
{
    QFETCH(QTextEdit *, editor);
    QFETCH(QString, text);
    QFETCH(bool, readOnly);

    QCOMPARE(editor->isReadOnly(), readOnly);
    QCOMPARE(editor->toPlainText(), text);

    // One paragraph only, so the first appended line becomes the second paragraph.
    const QTextDocument *const document = editor->document();
    QCOMPARE(document->blockCount(), 1);
    const QTextBlock block = document->firstBlock();
    QCOMPARE(block.text(), text);

    const QTextBlockFormat paragraph = block.blockFormat();
    QCOMPARE(QList<qreal>({ paragraph.topMargin(), paragraph.bottomMargin(), paragraph.leftMargin(),
                            paragraph.rightMargin(), paragraph.textIndent() }), QList<qreal>(5, 0.0));
    QCOMPARE(paragraph.indent(), 0);

    const QTextFragment fragment = block.begin().fragment();
    QVERIFY(fragment.isValid());
    QCOMPARE(fragment.text(), text);
    const QTextCharFormat characters = fragment.charFormat();
    QCOMPARE(characters.fontFamilies().toStringList(), QStringList{songFamily});
    QCOMPARE(characters.fontPointSize(), 9.0);
    QCOMPARE(characters.fontWeight(), int(QFont::Normal));
    QVERIFY(!characters.fontItalic());
}

void TestForm::bindsHandlersByName()
{
    HandlerProbe probe;
    Ui::MainWindow form;
    form.setupUi(&probe);

    form.pushButton_flash->click();
    QCOMPARE(probe.flashClicks, 1);

    form.checkBox_GPU_power_draw->click();
    form.checkBox_GPU_power_draw->click();
    QCOMPARE(probe.drawStates, (QList<int>{ Qt::Checked, Qt::Unchecked }));
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
