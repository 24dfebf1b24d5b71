#include "NBESettingsWindow.h"

#include "NBEAnthropicServiceModel.h"
#include "NBEKeychain.h"
#include "NBEPreferences.h"
#include "NBEWhenFinished.h"
#include "NBEWindowKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {

QPointer<NBESettingsWindow> &sharedWindow()
{
    static QPointer<NBESettingsWindow> window;
    return window;
}

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

void selectData(QComboBox *box, const QVariant &data)
{
    const QSignalBlocker block(box);
    box->setCurrentIndex(std::max(0, box->findData(data)));
}

} // namespace

NBESettingsWindow *NBESettingsWindow::present(NBEPreferences &preferences)
{
    QPointer<NBESettingsWindow> &window = sharedWindow();
    if (!window) {
        window = new NBESettingsWindow(preferences);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

NBESettingsWindow *NBESettingsWindow::instance()
{
    return sharedWindow();
}

NBESettingsWindow::NBESettingsWindow(NBEPreferences &preferences, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_preferences(preferences)
    , m_tabs(new QTabWidget(this))
{
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(tr("Settings"));
    NBEWindowKeys::closeOnEscape(this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    m_tabs->addTab(buildGeneralTab(), tr("General"));
    m_tabs->addTab(buildEditorTab(), tr("Editor"));
    m_tabs->addTab(buildSavingTab(), tr("Saving"));
    m_tabs->addTab(buildGitTab(), tr("Git"));
    m_tabs->addTab(buildAITab(), tr("AI"));
    // A setting that didn't reach the disk is said here, where it was
    // changed, and the control goes back to what is stored.
    m_saveProblem = new QLabel(this);
    m_saveProblem->setObjectName(QStringLiteral("saveProblem"));
    m_saveProblem->setWordWrap(true);
    m_saveProblem->hide();
    layout->addWidget(m_saveProblem);
    connect(&preferences.store(), &NBEDefaults::writeFailed, this,
            [this](const QString &, const QString &sentence) {
                m_saveProblem->setText(sentence);
                m_saveProblem->show();
                load();
            });
    load();
    connect(&preferences, &NBEPreferences::changed, this, [this] {
        m_saveProblem->hide();
        load();
    });
    refreshKeyState();
    resize(480, 380);
}

QWidget *NBESettingsWindow::buildEditorTab()
{
    auto *tab = new QWidget(this);
    auto *form = new QFormLayout(tab);
    NBEPreferences &preferences = m_preferences;

    m_fontSize = new QSpinBox(tab);
    m_fontSize->setRange(int(NBEPreferences::minimumFontSize),
                         int(NBEPreferences::maximumFontSize));
    m_fontSize->setSuffix(tr(" pt"));
    connect(m_fontSize, &QSpinBox::valueChanged, this,
            [&preferences](int size) { preferences.setFontSize(size); });
    form->addRow(tr("Font size:"), m_fontSize);

    m_tabSize = new QSpinBox(tab);
    m_tabSize->setRange(NBEPreferences::minimumTabSize, NBEPreferences::maximumTabSize);
    connect(m_tabSize, &QSpinBox::valueChanged, this,
            [&preferences](int size) { preferences.setTabSize(size); });
    form->addRow(tr("Tab size:"), m_tabSize);

    const auto check = [tab, form](const QString &text, auto setter) {
        auto *box = new QCheckBox(text, tab);
        QObject::connect(box, &QCheckBox::toggled, tab, setter);
        form->addRow(QString(), box);
        return box;
    };
    m_softTabs = check(tr("Insert spaces when Tab is pressed"),
                       [&preferences](bool on) { preferences.setUseSoftTabs(on); });
    m_wordWrap =
        check(tr("Wrap long lines"), [&preferences](bool on) { preferences.setWordWrap(on); });
    m_lineNumbers = check(tr("Show line numbers"),
                          [&preferences](bool on) { preferences.setShowLineNumbers(on); });
    m_invisibles = check(tr("Show invisible characters"),
                         [&preferences](bool on) { preferences.setShowInvisibles(on); });
    return tab;
}

QWidget *NBESettingsWindow::buildGeneralTab()
{
    auto *tab = new QWidget(this);
    auto *form = new QFormLayout(tab);
    NBEPreferences &preferences = m_preferences;

    m_appearance = new QComboBox(tab);
    m_appearance->addItem(tr("System"), QStringLiteral("system"));
    m_appearance->addItem(tr("Light"), QStringLiteral("light"));
    m_appearance->addItem(tr("Dark"), QStringLiteral("dark"));
    connect(m_appearance, &QComboBox::activated, this, [this, &preferences] {
        preferences.setAppearance(m_appearance->currentData().toString());
    });
    form->addRow(tr("Appearance:"), m_appearance);

    m_showWelcomeAtLaunch = new QCheckBox(tr("Show the welcome window at launch"), tab);
    connect(m_showWelcomeAtLaunch, &QCheckBox::toggled, this,
            [&preferences](bool on) { preferences.setShowWelcomeAtLaunch(on); });
    form->addRow(QString(), m_showWelcomeAtLaunch);
    form->addRow(QString(), note(tr("When it is off, Nabri Editor opens your most recent "
                                    "project instead."),
                                 tab));
    return tab;
}

QWidget *NBESettingsWindow::buildSavingTab()
{
    auto *tab = new QWidget(this);
    auto *form = new QFormLayout(tab);
    NBEPreferences &preferences = m_preferences;

    m_autoSaveMode = new QComboBox(tab);
    m_autoSaveMode->addItem(tr("Off"), QStringLiteral("off"));
    m_autoSaveMode->addItem(tr("After a delay"), QStringLiteral("afterDelay"));
    m_autoSaveMode->addItem(tr("When focus changes"), QStringLiteral("onFocusChange"));
    connect(m_autoSaveMode, &QComboBox::activated, this, [this, &preferences] {
        preferences.setAutoSaveMode(m_autoSaveMode->currentData().toString());
    });
    form->addRow(tr("Auto-save:"), m_autoSaveMode);

    m_autoSaveDelay = new QDoubleSpinBox(tab);
    m_autoSaveDelay->setRange(0.5, 60.0);
    m_autoSaveDelay->setSingleStep(0.5);
    m_autoSaveDelay->setDecimals(1);
    m_autoSaveDelay->setSuffix(tr(" s"));
    connect(m_autoSaveDelay, &QDoubleSpinBox::valueChanged, this,
            [&preferences](double seconds) { preferences.setAutoSaveDelay(seconds); });
    form->addRow(tr("Delay:"), m_autoSaveDelay);

    m_formatOnSave = new QCheckBox(tr("Format HTML and CSS when saving"), tab);
    connect(m_formatOnSave, &QCheckBox::toggled, this,
            [&preferences](bool on) { preferences.setFormatOnSave(on); });
    form->addRow(QString(), m_formatOnSave);
    form->addRow(QString(), note(tr("Format Document (%1) formats at any time.")
                                     .arg(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)
                                              .toString(QKeySequence::NativeText)),
                                 tab));
    return tab;
}

QWidget *NBESettingsWindow::buildGitTab()
{
    auto *tab = new QWidget(this);
    auto *layout = new QVBoxLayout(tab);
    m_gitAutoFetch = new QCheckBox(tr("Fetch from the remote in the background"), tab);
    NBEPreferences &preferences = m_preferences;
    connect(m_gitAutoFetch, &QCheckBox::toggled, this,
            [&preferences](bool on) { preferences.setGitAutoFetch(on); });
    layout->addWidget(m_gitAutoFetch);
    layout->addWidget(note(tr("Keeps the counts of commits to pull and push current while a "
                              "project is open. It never asks for credentials."),
                           tab));
    layout->addStretch(1);
    return tab;
}

QWidget *NBESettingsWindow::buildAITab()
{
    auto *tab = new QWidget(this);
    auto *form = new QFormLayout(tab);
    NBEPreferences &preferences = m_preferences;

    m_aiEnabled = new QCheckBox(tr("Enable AI features"), tab);
    connect(m_aiEnabled, &QCheckBox::toggled, this,
            [&preferences](bool on) { preferences.setAIEnabled(on); });
    form->addRow(QString(), m_aiEnabled);

    m_apiKey = new QLineEdit(tab);
    m_apiKey->setEchoMode(QLineEdit::Password);
    m_apiKey->setClearButtonEnabled(true);
    form->addRow(tr("Anthropic API key:"), m_apiKey);
    auto *buttons = new QHBoxLayout;
    m_saveKey = new QPushButton(tr("Save Key"), tab);
    m_removeKey = new QPushButton(tr("Remove Key"), tab);
    buttons->addWidget(m_saveKey);
    buttons->addWidget(m_removeKey);
    buttons->addStretch(1);
    form->addRow(QString(), buttons);
    m_keyStatus = note(QString(), tab);
    form->addRow(QString(), m_keyStatus);
    connect(m_apiKey, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_saveKey->setEnabled(!text.trimmed().isEmpty()); });
    connect(m_apiKey, &QLineEdit::returnPressed, this, &NBESettingsWindow::storeKey);
    connect(m_saveKey, &QPushButton::clicked, this, &NBESettingsWindow::storeKey);
    connect(m_removeKey, &QPushButton::clicked, this, &NBESettingsWindow::forgetKey);
    m_saveKey->setEnabled(false);
    m_removeKey->setEnabled(false);

    m_aiModel = new QComboBox(tab);
    for (const NBEAnthropicServiceModel model : NBEAnthropicModels::allCases())
        m_aiModel->addItem(NBEAnthropicModels::displayName(model),
                           NBEAnthropicModels::rawValue(model));
    connect(m_aiModel, &QComboBox::activated, this, [this, &preferences] {
        if (const auto model =
                NBEAnthropicModels::fromRawValue(m_aiModel->currentData().toString()))
            preferences.setAIModel(*model);
    });
    form->addRow(tr("Model:"), m_aiModel);
    form->addRow(QString(),
                 note(tr("AI writes commit messages from your staged changes with your own key. "
                         "The key is kept in the system keyring and sent only to Anthropic."),
                      tab));
    return tab;
}

void NBESettingsWindow::load()
{
    const NBEPreferences &p = m_preferences;
    // A control that shows the stored value already is left alone: the
    // change came from it, and rewriting a number being typed ("2." of
    // "2.5") would put its caret back and reject the rest.
    const auto set = [](auto *control, const auto &value) {
        const QSignalBlocker block(control);
        if constexpr (std::is_same_v<std::remove_pointer_t<decltype(control)>, QCheckBox>)
            control->setChecked(value);
        else if (control->value() != value)
            control->setValue(value);
    };
    set(m_fontSize, int(std::lround(p.fontSize())));
    set(m_tabSize, p.tabSize());
    set(m_softTabs, p.useSoftTabs());
    set(m_wordWrap, p.wordWrap());
    set(m_lineNumbers, p.showLineNumbers());
    set(m_invisibles, p.showInvisibles());
    selectData(m_appearance, p.appearance());
    set(m_showWelcomeAtLaunch, p.showWelcomeAtLaunch());
    selectData(m_autoSaveMode, p.autoSaveMode());
    set(m_autoSaveDelay, p.autoSaveDelay());
    m_autoSaveDelay->setEnabled(p.autoSaveMode() == QLatin1String("afterDelay"));
    set(m_formatOnSave, p.formatOnSave());
    set(m_gitAutoFetch, p.gitAutoFetch());
    set(m_aiEnabled, p.aiEnabled());
    selectData(m_aiModel, NBEAnthropicModels::rawValue(p.aiModel()));
    m_aiModel->setEnabled(p.aiEnabled());
    m_apiKey->setEnabled(p.aiEnabled());
}

void NBESettingsWindow::refreshKeyState()
{
    nbeWhenFinished(NBEKeychain::has(NBEKeychainKey::anthropicAPIKey), this, [this](bool stored) {
        m_hasStoredKey = stored;
        // The stored key itself is never read back into the field.
        m_apiKey->setPlaceholderText(stored ? tr("A key is stored in the system keyring")
                                            : tr("sk-ant-…"));
        m_removeKey->setEnabled(stored);
        Q_EMIT keyStateChanged();
    });
}

void NBESettingsWindow::storeKey()
{
    const QString key = m_apiKey->text().trimmed();
    if (key.isEmpty())
        return;
    m_saveKey->setEnabled(false);
    nbeWhenFinished(
        NBEKeychain::set(key, NBEKeychainKey::anthropicAPIKey), this, [this](bool stored) {
            if (stored) {
                m_apiKey->clear();
                m_keyStatus->setText(tr("The key was saved in the system keyring."));
            } else {
                m_saveKey->setEnabled(true);
                m_keyStatus->setText(tr("The key couldn't be saved in the system keyring."));
            }
            refreshKeyState();
        });
}

void NBESettingsWindow::forgetKey()
{
    nbeWhenFinished(
        NBEKeychain::remove(NBEKeychainKey::anthropicAPIKey), this, [this](bool removed) {
            m_keyStatus->setText(removed
                                     ? tr("The key was removed from the system keyring.")
                                     : tr("The key couldn't be removed from the system keyring."));
            refreshKeyState();
        });
}
