#pragma once

#include <QPointer>
#include <QWidget>

class NBEPreferences;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

// The settings window: General, Editor, Saving, Git and AI tabs. Every control writes
// its key through the preferences at once (open windows follow), and shows
// what another window wrote. The AI key goes only into the system keyring;
// the field never shows a stored key, only whether one is stored.
class NBESettingsWindow : public QWidget
{
    Q_OBJECT

public:
    explicit NBESettingsWindow(NBEPreferences &preferences, QWidget *parent = nullptr);

    // The one settings window, brought forward or made.
    static NBESettingsWindow *present(NBEPreferences &preferences);
    static NBESettingsWindow *instance();

    QTabWidget *tabs() const { return m_tabs; }
    QSpinBox *fontSize() const { return m_fontSize; }
    QSpinBox *tabSize() const { return m_tabSize; }
    QCheckBox *softTabs() const { return m_softTabs; }
    QCheckBox *wordWrap() const { return m_wordWrap; }
    QCheckBox *lineNumbers() const { return m_lineNumbers; }
    QCheckBox *invisibles() const { return m_invisibles; }
    QComboBox *appearance() const { return m_appearance; }
    QCheckBox *showWelcomeAtLaunch() const { return m_showWelcomeAtLaunch; }
    QComboBox *autoSaveMode() const { return m_autoSaveMode; }
    QDoubleSpinBox *autoSaveDelay() const { return m_autoSaveDelay; }
    QCheckBox *formatOnSave() const { return m_formatOnSave; }
    QCheckBox *gitAutoFetch() const { return m_gitAutoFetch; }
    QCheckBox *aiEnabled() const { return m_aiEnabled; }
    QLineEdit *apiKey() const { return m_apiKey; }
    QPushButton *saveKey() const { return m_saveKey; }
    QPushButton *removeKey() const { return m_removeKey; }
    QLabel *keyStatus() const { return m_keyStatus; }
    QComboBox *aiModel() const { return m_aiModel; }
    // Why the last change couldn't be saved; hidden while all were.
    QLabel *saveProblem() const { return m_saveProblem; }
    // Whether the keyring holds a key, as last asked.
    bool hasStoredKey() const { return m_hasStoredKey; }

Q_SIGNALS:
    // The keyring answered a read, a write or a removal.
    void keyStateChanged();

private:
    QWidget *buildGeneralTab();
    QWidget *buildEditorTab();
    QWidget *buildSavingTab();
    QWidget *buildGitTab();
    QWidget *buildAITab();
    void load();
    void refreshKeyState();
    void storeKey();
    void forgetKey();

    NBEPreferences &m_preferences;
    QTabWidget *m_tabs;
    QSpinBox *m_fontSize = nullptr;
    QSpinBox *m_tabSize = nullptr;
    QCheckBox *m_softTabs = nullptr;
    QCheckBox *m_wordWrap = nullptr;
    QCheckBox *m_lineNumbers = nullptr;
    QCheckBox *m_invisibles = nullptr;
    QComboBox *m_appearance = nullptr;
    QCheckBox *m_showWelcomeAtLaunch = nullptr;
    QComboBox *m_autoSaveMode = nullptr;
    QDoubleSpinBox *m_autoSaveDelay = nullptr;
    QCheckBox *m_formatOnSave = nullptr;
    QCheckBox *m_gitAutoFetch = nullptr;
    QCheckBox *m_aiEnabled = nullptr;
    QLineEdit *m_apiKey = nullptr;
    QPushButton *m_saveKey = nullptr;
    QPushButton *m_removeKey = nullptr;
    QLabel *m_keyStatus = nullptr;
    QComboBox *m_aiModel = nullptr;
    QLabel *m_saveProblem = nullptr;
    bool m_hasStoredKey = false;
};
