#include "NBEHelp.h"

namespace {

using B = NBEHelpBlock;

NBEHelpTopic topic(const char *id, const char *title, const char *subtitle, const char *symbol,
                   QList<NBEHelpBlock> blocks)
{
    return {QString::fromUtf8(id), NBEHelp::tr(title), NBEHelp::tr(subtitle),
            QString::fromUtf8(symbol), std::move(blocks)};
}

QString shortcut(const char *label, const char *keys)
{
    return QStringLiteral("**%1** — `%2`").arg(NBEHelp::tr(label), QString::fromUtf8(keys));
}

QList<NBEHelpSection> buildSections()
{
    return {
        {QStringLiteral("getting-started"),
         NBEHelp::tr("Getting Started"),
         {
             topic(
                 "what-is-nabri-editor", "What is Nabri Editor?",
                 "The native Linux editor for HTML, CSS & JavaScript.", "sparkles",
                 {
                     B::paragraph(NBEHelp::tr(
                         "Nabri Editor is a fast, native code editor for hand-written web work. "
                         "It opens big files instantly, never loses an edit, and stays out of "
                         "your way.")),
                     B::paragraph(NBEHelp::tr(
                         "HTML comes first, with CSS, JavaScript, JSON, Markdown, YAML, `.env`, "
                         "Leaf templates and Swift close behind.")),
                     B::heading(NBEHelp::tr("What's included")),
                     B::bullets({
                         NBEHelp::tr("**Syntax highlighting** for every core language, in "
                                     "light and dark themes."),
                         NBEHelp::tr("**Emmet**, tag auto-close and paired tag rename."),
                         NBEHelp::tr("**Live preview** of HTML and Markdown, side by side."),
                         NBEHelp::tr("**Language servers** for completion, diagnostics, "
                                     "hover docs and Jump to Definition."),
                         NBEHelp::tr("**Git** built in: stage, commit, push, pull and "
                                     "branches."),
                     }),
                     B::tip(NBEHelp::tr("Every feature is free. There is nothing to unlock.")),
                     B::seeAlso({QStringLiteral("first-launch"), QStringLiteral("opening-a-folder"),
                                 QStringLiteral("html-live-preview")}),
                 }),
             topic("first-launch", "First Launch",
                   "The welcome window and how to open your first project.", "hand.wave",
                   {
                       B::paragraph(NBEHelp::tr(
                           "When Nabri Editor starts without a project, the welcome window "
                           "appears. From there you can start something new or pick up where you "
                           "left off:")),
                       B::bullets({
                           NBEHelp::tr("**New Project…** — create a fresh folder and open it "
                                       "as a workspace."),
                           NBEHelp::tr("**Open Folder…** — open any existing folder as a "
                                       "workspace."),
                           NBEHelp::tr("**Recent Projects** — jump straight back into something "
                                       "you were working on."),
                       }),
                       B::paragraph(NBEHelp::tr(
                           "A new project can start as a git repository: leave **Create a Git "
                           "repository** ticked when you name the folder.")),
                       B::tip(NBEHelp::tr(
                           "Don't want the welcome window at every launch? Untick **Show this "
                           "window at launch** in it, or turn it off in **Settings ▸ General**, "
                           "and Nabri Editor opens your most recent project instead.")),
                       B::seeAlso({QStringLiteral("opening-a-folder"),
                                   QStringLiteral("opening-a-single-file")}),
                   }),
             topic("keeping-updated", "Keeping Nabri Editor Updated",
                   "Updates come with your system's packages.", "arrow.triangle.2.circlepath",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Nabri Editor is updated together with the rest of your system: your "
                           "package manager installs new versions, and the repository's signature "
                           "makes sure only genuine releases are installed.")),
                       B::paragraph(NBEHelp::tr(
                           "To see which version you are running, choose **About Nabri Editor** "
                           "in the Help menu.")),
                       B::tip(NBEHelp::tr(
                           "There is no separate updater and nothing to move: the package "
                           "installs Nabri Editor where every user of the computer finds it.")),
                   }),
         }},
        {QStringLiteral("projects-files"),
         NBEHelp::tr("Projects & Files"),
         {
             topic("opening-a-folder", "Opening a Folder", "Workspaces are just folders on disk.",
                   "folder",
                   {
                       B::paragraph(NBEHelp::tr(
                           "A workspace is simply a folder. Choose **Open Folder…** (`Ctrl+O`) and "
                           "everything inside it appears in the file tree, ready to edit. There "
                           "is no project file to create or maintain.")),
                       B::paragraph(NBEHelp::tr(
                           "The welcome window and the File menu also start the folder chooser in "
                           "the places where Nabri's other applications keep their work, such as "
                           "**Open Tarnwick Project…** for the Tarnwick folder in your home "
                           "folder. A place is offered once its folder exists.")),
                       B::tip(NBEHelp::tr(
                           "Each folder opens in its own window, so you can work on several "
                           "projects side by side.")),
                       B::seeAlso({QStringLiteral("the-file-tree"),
                                   QStringLiteral("opening-a-single-file")}),
                   }),
             topic("opening-a-single-file", "Opening a Single File",
                   "A lone file still gives you the full editor.", "doc",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Choose **Open File…** (`Ctrl+Shift+O`), or open a file with Nabri "
                           "Editor from your file manager or the desktop's application "
                           "launcher.")),
                       B::paragraph(NBEHelp::tr(
                           "The file's enclosing folder opens as the workspace, so its "
                           "neighbours are one click away and links between them just work.")),
                       B::seeAlso({QStringLiteral("opening-a-folder"), QStringLiteral("tabs")}),
                   }),
             topic("the-file-tree", "The File Tree",
                   "Create, rename, and delete files in the sidebar.", "sidebar.left",
                   {
                       B::paragraph(NBEHelp::tr(
                           "The sidebar shows your workspace as a tree: folders first, then "
                           "files. Hidden files stay out of the way. Click a file to open it.")),
                       B::bullets({
                           NBEHelp::tr("**New File** (`Ctrl+N`) and **New Folder** "
                                       "(`Ctrl+Shift+N`) create items in the selected folder."),
                           NBEHelp::tr("**Right-click** any item to rename, delete, or reveal "
                                       "it in File Manager."),
                           NBEHelp::tr("**Git badges** show which files have uncommitted "
                                       "changes at a glance."),
                       }),
                       B::seeAlso({QStringLiteral("tabs"), QStringLiteral("git-integration")}),
                   }),
             topic("tabs", "Working with Tabs", "Every open file gets a tab.", "rectangle.stack",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Every file you open gets a tab above the editor. A dot on a tab marks "
                           "unsaved changes; Nabri Editor asks before closing a tab that has "
                           "them.")),
                       B::bullets({
                           NBEHelp::tr("**Save** with `Ctrl+S`."),
                           NBEHelp::tr("**Close** the active tab with `Ctrl+W`."),
                           NBEHelp::tr("**Reorder** tabs by dragging them."),
                       }),
                       B::seeAlso(
                           {QStringLiteral("find-and-replace"), QStringLiteral("the-file-tree")}),
                   }),
         }},
        {QStringLiteral("editing"),
         NBEHelp::tr("Editing"),
         {
             topic("syntax-highlighting", "Syntax Highlighting",
                   "Fast, accurate highlighting for every core language.", "paintbrush",
                   {
                       B::paragraph(NBEHelp::tr(
                           "HTML, CSS, JavaScript, JSON, Markdown, YAML, `.env` files, Leaf "
                           "templates and Swift are highlighted as you type, even in very large "
                           "files.")),
                       B::paragraph(NBEHelp::tr(
                           "Colours come from the light and dark editor themes and follow the "
                           "appearance you choose.")),
                       B::seeAlso(
                           {QStringLiteral("themes-and-appearance"), QStringLiteral("formatting")}),
                   }),
             topic("emmet-and-autoclose", "Emmet & Tag Auto-Close",
                   "Write HTML at the speed of thought.", "chevron.left.forwardslash.chevron.right",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Type an Emmet abbreviation and press Tab to expand it into full "
                           "markup. For example, `ul>li*3` becomes a list with three items.")),
                       B::paragraph(NBEHelp::tr(
                           "When you type `>` to finish an opening tag, the closing tag appears. "
                           "Rename an opening tag and its partner follows.")),
                       B::tip(NBEHelp::tr(
                           "The HTML toolbar wraps the selection in common tags — bold, links, "
                           "headings, lists and more — with one click.")),
                       B::seeAlso(
                           {QStringLiteral("formatting"), QStringLiteral("html-live-preview")}),
                   }),
             topic("formatting", "Formatting", "Tidy code on demand, or every time you save.",
                   "text.alignleft",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Choose **Format Document** (`Ctrl+Shift+F`) to re-indent the current "
                           "file using your tab settings.")),
                       B::paragraph(NBEHelp::tr(
                           "Turn on **Format HTML and CSS when saving** in **Settings ▸ Saving** "
                           "to tidy every file as you save it.")),
                       B::paragraph(NBEHelp::tr(
                           "When a language server offers formatting it does the work; HTML and "
                           "CSS fall back to the built-in formatter when no server is "
                           "available.")),
                       B::seeAlso(
                           {QStringLiteral("language-servers"), QStringLiteral("autocomplete")}),
                   }),
             topic(
                 "autocomplete", "Autocomplete", "Language-aware completion as you type.",
                 "text.append",
                 {
                     B::paragraph(NBEHelp::tr(
                         "Suggestions appear as you type: HTML tags and attributes, CSS "
                         "properties and values, and the class and id names used in your "
                         "project.")),
                     B::paragraph(NBEHelp::tr(
                         "Inside `href` and `src` attributes, completion offers the paths of "
                         "files in your workspace.")),
                     B::seeAlso({QStringLiteral("language-servers"), QStringLiteral("formatting")}),
                 }),
             topic("find-and-replace", "Find & Replace", "Search and replace within a file.",
                   "magnifyingglass",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Press `Ctrl+F` to open the find bar above the editor. Step through "
                           "matches, or replace them one at a time or all at once.")),
                       B::seeAlso({QStringLiteral("tabs")}),
                   }),
         }},
        {QStringLiteral("web-development"),
         NBEHelp::tr("Web Development"),
         {
             topic("html-live-preview", "HTML Live Preview", "See your page render side by side.",
                   "rectangle.split.2x1",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Open the preview beside an HTML file to watch the page render as you "
                           "type. Scrolling either side keeps the other in step.")),
                       B::paragraph(NBEHelp::tr(
                           "Markdown files get a rendered preview too (`Ctrl+Alt+P`), and "
                           "**Export as HTML** saves one as a complete web page.")),
                       B::tip(NBEHelp::tr(
                           "Relative links, images and style sheets load from your workspace, "
                           "just as they will on your site.")),
                       B::seeAlso(
                           {QStringLiteral("css-color-swatches"), QStringLiteral("diagnostics")}),
                   }),
             topic("css-color-swatches", "CSS Color Swatches",
                   "Inline swatches and a color picker.", "paintpalette",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Colour values in CSS show a small swatch beside them — also inside "
                           "`<style>` blocks of HTML files. Click a swatch to pick a new colour "
                           "and the value is rewritten for you.")),
                       B::seeAlso({QStringLiteral("html-live-preview"),
                                   QStringLiteral("syntax-highlighting")}),
                   }),
             topic(
                 "diagnostics", "Diagnostics & Validation",
                 "Catch problems in the gutter as you type.", "exclamationmark.triangle",
                 {
                     B::paragraph(NBEHelp::tr(
                         "Errors and warnings appear in the gutter beside the line they concern, "
                         "from the language servers and from the built-in HTML validator. Point "
                         "at a marker to read the message.")),
                     B::paragraph(NBEHelp::tr(
                         "The structure outline lists the elements, selectors and functions of "
                         "the current file; click one to jump to it.")),
                     B::seeAlso({QStringLiteral("language-servers"), QStringLiteral("hover-docs")}),
                 }),
             topic("hover-docs", "Hover Docs & Jump to Definition",
                   "Documentation and navigation, inline.", "text.magnifyingglass",
                   {
                       B::paragraph(
                           NBEHelp::tr("Rest the pointer on a tag, property or symbol to read its "
                                       "documentation without leaving the editor.")),
                       B::paragraph(NBEHelp::tr(
                           "**Jump to Definition** (`Ctrl+Meta+J`) takes you to where the symbol "
                           "under the cursor is defined, opening its file if needed.")),
                       B::seeAlso(
                           {QStringLiteral("language-servers"), QStringLiteral("diagnostics")}),
                   }),
         }},
        {QStringLiteral("swift-vapor"),
         NBEHelp::tr("Swift & Vapor"),
         {
             topic("editing-vapor-projects", "Editing Vapor Projects",
                   "The editor for Tarnwick's local Vapor projects.", "swift",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Nabri Editor recognises a Vapor project by its `Package.swift` and "
                           "edits its Swift sources, Leaf templates and public files together.")),
                       B::paragraph(NBEHelp::tr(
                           "Tarnwick runs your Vapor projects locally. Open a project in Nabri "
                           "Editor straight from Tarnwick, and hand it back with **Open in "
                           "Tarnwick** when it's time to run it.")),
                       B::seeAlso(
                           {QStringLiteral("sourcekit-lsp"), QStringLiteral("opening-a-folder")}),
                   }),
             topic("sourcekit-lsp", "Swift Language Support", "SourceKit-LSP-backed Swift editing.",
                   "curlybraces",
                   {
                       B::paragraph(NBEHelp::tr(
                           "With a Swift toolchain installed, `sourcekit-lsp` provides completion, "
                           "diagnostics and Jump to Definition for Swift files. A "
                           "`.swift-version` file in your project picks the toolchain.")),
                       B::seeAlso({QStringLiteral("editing-vapor-projects"),
                                   QStringLiteral("autocomplete")}),
                   }),
             topic(
                 "language-servers", "Language Servers",
                 "Real LSP intelligence, with native fallbacks.", "server.rack",
                 {
                     B::paragraph(NBEHelp::tr(
                         "HTML, CSS, JSON and JavaScript are served by the standard web language "
                         "servers, run with Node.js; Swift by `sourcekit-lsp`. Each server starts "
                         "when you open the first file of its language.")),
                     B::paragraph(NBEHelp::tr(
                         "When a server isn't available, built-in completion, validation and "
                         "formatting take over, so the essentials always work.")),
                     B::seeAlso({QStringLiteral("autocomplete"), QStringLiteral("formatting"),
                                 QStringLiteral("diagnostics")}),
                 }),
         }},
        {QStringLiteral("git"),
         NBEHelp::tr("Git"),
         {
             topic("git-integration", "Git Integration", "The everyday git loop, built in.",
                   "arrow.branch",
                   {
                       B::paragraph(NBEHelp::tr(
                           "When your workspace is a git repository, the source control view "
                           "shows changed files, diffs and history, and the editor marks changed "
                           "lines in the gutter.")),
                       B::paragraph(NBEHelp::tr(
                           "Not a repository yet? Choose **Initialize Git Repository** to start "
                           "one in the workspace folder.")),
                       B::seeAlso(
                           {QStringLiteral("committing-and-syncing"), QStringLiteral("branches")}),
                   }),
             topic("committing-and-syncing", "Committing & Syncing",
                   "Stage, commit, push, and pull.", "checkmark.circle",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Stage whole files or single hunks, write a message and commit. Your "
                           "draft message is kept per repository until you commit.")),
                       B::paragraph(NBEHelp::tr(
                           "**Push** and **Pull** keep your branch in step with its remote.")),
                       B::tip(NBEHelp::tr(
                           "Pushing to your git host for the first time? Sign in through the "
                           "browser; a credential helper remembers you afterwards.")),
                       B::seeAlso({QStringLiteral("branches"), QStringLiteral("ai-features")}),
                   }),
             topic("branches", "Branches", "Switch, create, merge, and delete branches.",
                   "arrow.triangle.branch",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Switch to another branch, create a new one, merge one into the "
                           "current branch or delete one you no longer need — all from the "
                           "branch menu.")),
                       B::paragraph(NBEHelp::tr(
                           "For rebases, conflict-heavy merges and other complex cases, the "
                           "terminal is still the best tool.")),
                       B::seeAlso({QStringLiteral("committing-and-syncing"),
                                   QStringLiteral("git-integration")}),
                   }),
         }},
        {QStringLiteral("settings-more"),
         NBEHelp::tr("Settings & More"),
         {
             topic("themes-and-appearance", "Themes & Appearance",
                   "Light, dark, and editor themes.", "circle.lefthalf.filled",
                   {
                       B::paragraph(NBEHelp::tr(
                           "In **Settings ▸ General**, choose a light or dark appearance or "
                           "follow the system; in **Settings ▸ Editor**, set the editor's font "
                           "size, tab width, soft tabs, word wrap, line numbers and invisible "
                           "characters.")),
                       B::seeAlso({QStringLiteral("syntax-highlighting")}),
                   }),
             topic("ai-features", "AI Features", "Optional AI assistance with your own key.",
                   "wand.and.stars",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Nabri Editor can generate a git commit message from your staged "
                           "changes. AI features use **your own API key**, entered in **Settings "
                           "▸ AI** and stored securely in the system keyring.")),
                       B::paragraph(NBEHelp::tr(
                           "Nothing is sent until you ask for a message. You can pick the model "
                           "or turn AI features off entirely in the same settings tab.")),
                       B::seeAlso({QStringLiteral("committing-and-syncing")}),
                   }),
             topic(
                 "keyboard-shortcuts", "Keyboard Shortcuts", "The shortcuts worth memorizing.",
                 "keyboard",
                 {
                     B::heading(NBEHelp::tr("Files & tabs")),
                     B::bullets({
                         shortcut("New File", "Ctrl+N"),
                         shortcut("New Folder", "Ctrl+Shift+N"),
                         shortcut("Open Folder", "Ctrl+O"),
                         shortcut("Open File", "Ctrl+Shift+O"),
                         shortcut("Save", "Ctrl+S"),
                         shortcut("Close Tab", "Ctrl+W"),
                     }),
                     B::heading(NBEHelp::tr("Editing")),
                     B::bullets({
                         shortcut("Find", "Ctrl+F"),
                         shortcut("Format Document", "Ctrl+Shift+F"),
                         shortcut("Jump to Definition", "Ctrl+Meta+J"),
                         shortcut("Toggle Markdown Preview", "Ctrl+Alt+P"),
                     }),
                     B::seeAlso({QStringLiteral("formatting"), QStringLiteral("find-and-replace")}),
                 }),
             topic("the-nabri-family", "The Nabri Family", "Better together, great alone.",
                   "square.grid.2x2",
                   {
                       B::paragraph(NBEHelp::tr(
                           "Nabri Editor is one of a small family of tools for people who build "
                           "for the web:")),
                       B::bullets({
                           NBEHelp::tr("**Tarnwick** — run Vapor projects locally, without "
                                       "the setup."),
                           NBEHelp::tr("**Pennwright** — design and publish static sites, "
                                       "then fine-tune their code here."),
                       }),
                       B::paragraph(NBEHelp::tr(
                           "Each works perfectly well on its own; together they hand projects "
                           "back and forth with a click.")),
                       B::seeAlso({QStringLiteral("editing-vapor-projects"),
                                   QStringLiteral("what-is-nabri-editor")}),
                   }),
         }},
    };
}

} // namespace

const QList<NBEHelpSection> &NBEHelp::sections()
{
    static const QList<NBEHelpSection> all = buildSections();
    return all;
}

const QList<NBEHelpTopic> &NBEHelp::allTopics()
{
    static const QList<NBEHelpTopic> topics = [] {
        QList<NBEHelpTopic> result;
        for (const NBEHelpSection &section : sections())
            result += section.topics;
        return result;
    }();
    return topics;
}

std::optional<NBEHelpTopic> NBEHelp::topic(const QString &id)
{
    for (const NBEHelpTopic &candidate : allTopics()) {
        if (candidate.id == id)
            return candidate;
    }
    return std::nullopt;
}
