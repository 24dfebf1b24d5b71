#include "NBEGitDiffView.h"

#include "NBEGitCommit.h"
#include "NBEGitState.h"
#include "NBELanguageRegistry.h"
#include "NBESyntaxHighlighter.h"
#include "NBEWhenFinished.h"
#include "NBEWorkspaceFiles.h"
#include "NBEWorkspaceHistory.h"
#include "NBEWorkspaceNavigation.h"
#include "NBEWorkspaceWorkingTree.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int numberWidth = 5;

QString number(const std::optional<int> &line)
{
    return (line ? QString::number(*line) : QString()).rightJustified(numberWidth);
}

// The file a commit's "diff --git a/x b/x" row introduces.
std::optional<QString> sectionPath(const QString &meta)
{
    if (!meta.startsWith(QLatin1String("diff --git ")))
        return std::nullopt;
    const qsizetype at = meta.lastIndexOf(QLatin1String(" b/"));
    return at < 0 ? std::nullopt : std::optional(meta.mid(at + 3));
}

QColor tinted(QColor color, float alpha)
{
    color.setAlphaF(alpha);
    return color;
}

} // namespace

NBEGitDiffView::NBEGitDiffView(const NBEDiffSource &source, const NBEDiffOwners &owners,
                               const NBETheme &theme, QWidget *parent)
    : QWidget(parent)
    , m_source(source)
    , m_git(&owners.git)
    , m_history(&owners.history)
    , m_workingTree(&owners.workingTree)
    , m_navigation(&owners.navigation)
    , m_projectFiles(&owners.files)
    , m_theme(theme)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *bar = new QWidget(this);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(12, 6, 6, 6);
    m_title = new QLabel(bar);
    m_title->setTextFormat(Qt::PlainText);
    QFont bold = m_title->font();
    bold.setWeight(QFont::DemiBold);
    m_title->setFont(bold);
    barLayout->addWidget(m_title);
    m_detail = new QLabel(bar);
    m_detail->setTextFormat(Qt::PlainText);
    m_detail->setForegroundRole(QPalette::PlaceholderText);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    barLayout->addWidget(m_detail, 1);
    m_close = new QToolButton(bar);
    m_close->setText(QStringLiteral("\u2715"));
    m_close->setAutoRaise(true);
    m_close->setToolTip(tr("Close Diff"));
    barLayout->addWidget(m_close);
    layout->addWidget(bar);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setForegroundRole(QPalette::Mid);
    layout->addWidget(line);

    const QString root =
        m_git->snapshot().root ? m_git->snapshot().root->toLocalFile() + u'/' : QString();
    if (source.kind == NBEDiffSource::Kind::file) {
        const QString path = source.url.toLocalFile();
        m_title->setText(QFileInfo(path).fileName());
        const QString relative =
            !root.isEmpty() && path.startsWith(root) ? path.mid(root.size()) : path;
        // The folder it lies in, when not at the top.
        if (relative != m_title->text())
            m_detail->setText(relative);
    } else {
        m_title->setText(source.subject);
        m_detail->setText(source.sha.left(7));
    }
    // Back to the tabs: neither diff is asked for any more.
    connect(m_close, &QToolButton::clicked, this, [this] {
        m_navigation->setDiffTarget(std::nullopt);
        m_navigation->setCommitDiffTarget(std::nullopt);
    });

    m_fileList = new QListWidget(this);
    m_fileList->setFrameShape(QFrame::NoFrame);
    m_fileList->setVisible(false);
    layout->addWidget(m_fileList);
    connect(m_fileList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { scrollToFile(item->text()); });

    m_body = new QStackedWidget(this);
    m_state = new QLabel(tr("Loading\u2026"), m_body);
    m_state->setAlignment(Qt::AlignCenter);
    m_state->setForegroundRole(QPalette::PlaceholderText);
    m_body->addWidget(m_state);
    m_text = new QPlainTextEdit(m_body);
    m_text->setReadOnly(true);
    m_text->setUndoRedoEnabled(false);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPalette colours = m_text->palette();
    colours.setColor(QPalette::Base, theme.editorBackground);
    colours.setColor(QPalette::Text, theme.editorText);
    m_text->setPalette(colours);
    m_body->addWidget(m_text);
    layout->addWidget(m_body, 1);

    // A file's diff follows what happens to it: staged, unstaged, committed,
    // or edited by another program while its status stays the same.
    if (source.kind == NBEDiffSource::Kind::file) {
        connect(m_git, &NBEGitState::changed, this, &NBEGitDiffView::load);
        connect(m_projectFiles, &NBEWorkspaceFiles::outsideChangesFollowed, this,
                &NBEGitDiffView::load);
    }
    load();
}

QColor NBEGitDiffView::background(NBEGitDiffLine::Kind kind, const NBETheme &theme)
{
    const float alpha = theme.isDark ? 0.22f : 0.14f;
    switch (kind) {
    case NBEGitDiffLine::Kind::addition:
        return tinted(QColor(0x28, 0xA7, 0x45), alpha);
    case NBEGitDiffLine::Kind::deletion:
        return tinted(QColor(0xE0, 0x3E, 0x3E), alpha);
    case NBEGitDiffLine::Kind::hunk:
        return tinted(QColor(0x3B, 0x82, 0xF6), alpha * 0.8f);
    case NBEGitDiffLine::Kind::meta:
    case NBEGitDiffLine::Kind::context:
        break;
    }
    return Qt::transparent;
}

void NBEGitDiffView::load()
{
    if (m_source.kind == NBEDiffSource::Kind::file) {
        // Only the newest load shows: an older answer may arrive after it.
        const NBERequestOrder::Token load = m_loads.next();
        m_pending = 1;
        nbeWhenFinished(m_workingTree->diff(m_source.url), this,
                        [this, load](const QList<NBEGitDiffLine> &lines) {
                            if (m_loads.isCurrent(load))
                                showLines(lines);
                        });
        return;
    }
    m_pending = 2;
    NBEGitCommit commit;
    commit.sha = m_source.sha;
    commit.subject = m_source.subject;
    nbeWhenFinished(m_history->changedFilesFor(commit), this,
                    [this](const QStringList &files) { showFiles(files); });
    nbeWhenFinished(m_history->commitDiff(m_source.sha), this,
                    [this](const QList<NBEGitDiffLine> &lines) { showLines(lines); });
}

void NBEGitDiffView::showFiles(const QStringList &files)
{
    m_files = files;
    m_fileList->clear();
    m_fileList->addItems(files);
    m_fileList->setVisible(!files.isEmpty());
    const int rows = std::min<int>(int(files.size()), 6);
    m_fileList->setFixedHeight(rows * m_fileList->sizeHintForRow(0) + 4);
    m_detail->setText(
        m_source.sha.left(7) + QStringLiteral(" \u00B7 ") +
        (files.size() == 1 ? tr("1 file changed") : tr("%1 files changed").arg(files.size())));
    if (--m_pending == 0) {
        m_loading = false;
        Q_EMIT loaded();
    }
}

void NBEGitDiffView::showLines(const QList<NBEGitDiffLine> &lines)
{
    m_lines = lines;
    const QColor dim = tinted(m_theme.editorText, 0.45f);
    const QColor hunkText = m_theme.isDark ? QColor(0x7A, 0xB0, 0xFF) : QColor(0x1D, 0x5F, 0xC4);
    std::optional<NBELanguage> language;
    if (m_source.kind == NBEDiffSource::Kind::file)
        language = NBELanguageRegistry::language(m_source.url);

    // A reload keeps the place the reader was at.
    const int scrolled = m_text->verticalScrollBar()->value();
    QTextDocument *document = m_text->document();
    document->clear();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    bool first = true;
    for (const NBEGitDiffLine &line : lines) {
        if (!first)
            cursor.insertBlock();
        first = false;
        QTextBlockFormat block;
        const QColor back = background(line.kind, m_theme);
        if (back.alpha() > 0)
            block.setBackground(back);
        cursor.setBlockFormat(block);
        QTextCharFormat plain;
        plain.setForeground(m_theme.editorText);
        if (line.kind == NBEGitDiffLine::Kind::meta || line.kind == NBEGitDiffLine::Kind::hunk) {
            QTextCharFormat format = plain;
            format.setForeground(line.kind == NBEGitDiffLine::Kind::hunk ? hunkText : dim);
            if (line.kind == NBEGitDiffLine::Kind::meta)
                format.setFontWeight(QFont::DemiBold);
            cursor.insertText(line.text, format);
            if (const auto path = sectionPath(line.text))
                language = NBELanguageRegistry::language(QUrl::fromLocalFile(u'/' + *path));
            continue;
        }
        QTextCharFormat gutter = plain;
        gutter.setForeground(dim);
        const QChar sign = line.kind == NBEGitDiffLine::Kind::addition   ? u'+'
                           : line.kind == NBEGitDiffLine::Kind::deletion ? u'-'
                                                                         : u' ';
        cursor.insertText(number(line.oldLine) + u' ' + number(line.newLine) + u' ' + sign + u' ',
                          gutter);
        const QList<QTextLayout::FormatRange> runs =
            NBESyntaxHighlighter::attributedLine(line.text, language, m_theme);
        for (const QTextLayout::FormatRange &run : runs) {
            QTextCharFormat format = plain;
            format.merge(run.format);
            cursor.insertText(line.text.mid(run.start, run.length), format);
        }
    }
    cursor.endEditBlock();
    m_text->moveCursor(QTextCursor::Start);
    if (!m_loading)
        m_text->verticalScrollBar()->setValue(scrolled);
    if (lines.isEmpty())
        m_state->setText(tr("No changes"));
    m_body->setCurrentWidget(lines.isEmpty() ? static_cast<QWidget *>(m_state) : m_text);
    if (--m_pending == 0) {
        m_loading = false;
        Q_EMIT loaded();
    }
}

void NBEGitDiffView::scrollToFile(const QString &path)
{
    for (QTextBlock block = m_text->document()->begin(); block.isValid(); block = block.next()) {
        if (sectionPath(block.text()) == path) {
            QTextCursor cursor(block);
            m_text->setTextCursor(cursor);
            m_text->verticalScrollBar()->setValue(block.blockNumber());
            return;
        }
    }
}
