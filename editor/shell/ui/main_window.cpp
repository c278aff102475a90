#include "editor/shell/ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>

#include "editor/plugins/ui/plugin_info_dialog.h"
#include "editor/search/ui/find_dialog.h"
#include "editor/shell/ui/asset_dialogs.h"
#include "editor/shell/ui/bundle_dialogs.h"
#include "editor/shell/ui/list_panel.h"
#include "editor/shell/ui/qt_file_chooser.h"
#include "editor/shell/ui/qt_message_sink.h"
#include "editor/shell/ui/status_bar.h"
#include "editor/tasks/task_runner.h"

namespace kestrova {
namespace {

QAction* AddCommand(QMenu* menu, const char* text, const char* name) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

}  // namespace

MainWindow::MainWindow(const Preferences& preferences, FileChooser* chooser,
                       MessageSink* messages) {
    if (chooser == nullptr) {
        ownChooser_ = std::make_unique<QtFileChooser>(this);
        chooser = ownChooser_.get();
    }
    if (messages == nullptr) {
        ownMessages_ = std::make_unique<QtMessageSink>();
        messages = ownMessages_.get();
    }
    messages_ = messages;
    shell_ = std::make_unique<EditorShell>(*this, *chooser);
    shell_->preferences = preferences;

    setWindowTitle(QStringLiteral("Kestrova"));
    setAttribute(Qt::WA_QuitOnClose);
    setAcceptDrops(true);
    CreateMenus();
    tasks_ = new TaskRunner(this);
    connect(tasks_, &TaskRunner::runningChanged, this, &MainWindow::ShowLongWork);
    cancelKey_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelKey_->setContext(Qt::ApplicationShortcut);
    cancelKey_->setEnabled(false);
    connect(cancelKey_, &QShortcut::activated, tasks_, &TaskRunner::Cancel);
    // The stored rectangle is the outer frame's; the frame is added once the window is shown
    // (FitFrameToStoredSize).
    move(preferences.windowX, preferences.windowY);
    resize(preferences.windowWidth, preferences.windowHeight);
}

MainWindow::~MainWindow() {
    Shutdown();
    // The panels and dialogs refer to the shell, which is destroyed before the base class would
    // delete them.
    qDeleteAll(findChildren<QDialog*>(Qt::FindDirectChildrenOnly));
    delete takeCentralWidget();
    client_ = nullptr;
    splitter_ = nullptr;
    listPanel_ = nullptr;
    pluginArea_ = nullptr;
    statusBar_ = nullptr;
}

void MainWindow::CreateMenus() {
    QMenu* fileMenu = fileMenu_ = menuBar()->addMenu(QStringLiteral("File"));
    connect(AddCommand(fileMenu, "Open", "openAction"), &QAction::triggered, this,
            [this] { shell_->OpenFile(); });
    connect(AddCommand(fileMenu, "Save As", "saveAsAction"), &QAction::triggered, this,
            [this] { shell_->SaveFileAs(); });

    assetMenu_ = menuBar()->addMenu(QStringLiteral("Asset"));
    connect(AddCommand(assetMenu_, "Export", "exportAction"), &QAction::triggered, this,
            [this] { shell_->ExportAsset(); });
    connect(AddCommand(assetMenu_, "Import", "importAction"), &QAction::triggered, this,
            [this] { shell_->ImportAsset(); });
    connect(AddCommand(assetMenu_, "Find", "findAction"), &QAction::triggered, this,
            &MainWindow::openFindDialog);
    connect(AddCommand(assetMenu_, "Add", "addAction"), &QAction::triggered, this,
            &MainWindow::openAddAssetDialog);
    connect(AddCommand(assetMenu_, "Remove", "removeAction"), &QAction::triggered, this,
            &MainWindow::openRemoveAssetDialog);

    QMenu* pluginMenu = menuBar()->addMenu(QStringLiteral("Plugin"));
    connect(AddCommand(pluginMenu, "Info", "pluginInfoAction"), &QAction::triggered, this,
            &MainWindow::openPluginInfoDialog);

    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("Help"));
    connect(AddCommand(helpMenu, "About", "aboutAction"), &QAction::triggered, this,
            &MainWindow::openAboutDialog);
}

void MainWindow::CreatePanels() {
    // Plug-ins are loaded here, before anything can select an asset; a missing entry point is
    // reported at once.
    LoadPlugins(plugins_, u"Plugins", *messages_);
    host_ = std::make_unique<PluginHost>(plugins_, *this);
    shell_->SetPluginBridge(host_.get());

    // The file dialogs open over this window.
    if (ownChooser_) {
        ownChooser_->SetOwner(this);
    }

    ResetAssetFile(shell_->document);

    client_ = new QWidget(this);
    client_->installEventFilter(this);
    setCentralWidget(client_);
    splitter_ = new QSplitter(Qt::Horizontal, client_);
    splitter_->setObjectName(QStringLiteral("panelSplitter"));
    splitter_->setChildrenCollapsible(false);
    listPanel_ = new ListPanel(*shell_, assetMenu_, splitter_);
    listPanel_->setObjectName(QStringLiteral("listPanel"));
    pluginArea_ = new QWidget(splitter_);
    pluginArea_->setObjectName(QStringLiteral("pluginPanelArea"));
    pluginArea_->installEventFilter(this);
    splitter_->addWidget(listPanel_);
    splitter_->addWidget(pluginArea_);
    connect(splitter_, &QSplitter::splitterMoved, this,
            [this](int position, int /*index*/) { StoreListPanelRatio(position); });
    listPanel_->RowsChanged();

    if (shell_->preferences.maximized != 0) {
        showMaximized();
    } else {
        show();
    }

    statusBar_ = new StatusBar(*shell_, client_);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    connect(statusBar_, &StatusBar::cancelClicked, tasks_, &TaskRunner::Cancel);
    shell_->SetStatus(u"Ready", 0.0f);
    statusBar_->show();

    LayoutClientArea();
    tracking_ = true;
    if (!isMaximized()) {
        FitFrameToStoredSize();
    }

    const QByteArray screenshot = qgetenv("KESTROVA_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        ScheduleScreenshot(QString::fromLocal8Bit(screenshot));
    }
}

void MainWindow::FitFrameToStoredSize() {
    // A window manager's frame makes the outer size larger than the client size asked for. The
    // frame is known only once the window is shown (with some window managers a little later),
    // so the fit waits for the first normal window that has one.
    const int extraWidth = frameGeometry().width() - width();
    const int extraHeight = frameGeometry().height() - height();
    if (!frameFitPending_ || (extraWidth <= 0 && extraHeight <= 0)) {
        return;
    }
    frameFitPending_ = false;
    const Preferences& preferences = shell_->preferences;
    resize(preferences.windowWidth - extraWidth, preferences.windowHeight - extraHeight);
}

void MainWindow::ScheduleScreenshot(const QString& path) {
    // Taken once the window has been painted and the event loop has nothing left to do, then the
    // window closes as if the user closed it, so the normal shutdown runs.
    QTimer::singleShot(300, this, [this, path] {
        QApplication::processEvents();
        grab().save(path, "PNG");
        close();
    });
}

void MainWindow::LayoutClientArea() {
    if (client_ == nullptr) {
        return;
    }
    const int width = client_->width();
    const int height = client_->height();
    const int panelsHeight = std::max(0, height - kStatusBarHeight);
    splitter_->setGeometry(0, 0, width, panelsHeight);
    // The list panel takes its share of the client width, truncated toward zero.
    const int listWidth =
        static_cast<int>(static_cast<float>(width) * shell_->preferences.listPanelRatio);
    splitter_->setSizes({listWidth, std::max(0, width - listWidth - splitter_->handleWidth())});
    if (statusBar_ != nullptr) {
        statusBar_->setGeometry(0, panelsHeight, width, kStatusBarHeight);
    }
}

void MainWindow::StoreListPanelRatio(int listWidth) {
    if (client_ == nullptr || client_->width() <= 0) {
        return;
    }
    // Taken against the same client width that the layout multiplies, aiming at the middle of the
    // pixel so that the product truncates back to this width on the next start.
    shell_->preferences.listPanelRatio =
        (static_cast<float>(listWidth) + 0.5f) / static_cast<float>(client_->width());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        LayoutClientArea();
    }
    // The panel fills the area beside the list whenever the window or the split changes.
    if (watched == pluginArea_ && event->type() == QEvent::Resize && pluginPanel_ != nullptr) {
        pluginPanel_->setGeometry(pluginArea_->rect());
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::RecordRectangle() {
    const QRect frame = frameGeometry();
    Preferences& preferences = shell_->preferences;
    preferences.windowX = frame.x();
    preferences.windowY = frame.y();
    preferences.windowWidth = frame.width();
    preferences.windowHeight = frame.height();
}

void MainWindow::TrackGeometry(bool moved) {
    if (!tracking_ || shutDown_ || !isVisible()) {
        return;
    }
    Preferences& preferences = shell_->preferences;
    const Qt::WindowStates state = windowState();
    if (state & Qt::WindowMinimized) {
        return;  // the normal rectangle stays what it was
    }
    if (state & Qt::WindowMaximized) {
        preferences.maximized = 1;
        return;
    }
    if (state & Qt::WindowFullScreen) {
        if (preferences.maximized == 0) {
            RecordRectangle();
        }
        return;
    }
    // The stored rectangle is still the one read at start-up here: nothing was recorded while the
    // window was maximized.
    FitFrameToStoredSize();
    if (moved) {
        if (preferences.maximized == 0) {
            RecordRectangle();
        }
        return;
    }
    // Restored to a normal window.
    preferences.maximized = 0;
    RecordRectangle();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        TrackGeometry(/*moved=*/false);
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    TrackGeometry(/*moved=*/true);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    TrackGeometry(/*moved=*/false);
}

namespace {

// The first local file among dropped items, or an empty text.
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString file = DroppedFile(event->mimeData());
    if (file.isEmpty() || tasks_->running()) {
        return;
    }
    event->acceptProposedAction();
    shell_->OpenPath(file.toStdU16String());
}

void MainWindow::RefreshStatusBar() {
    if (statusBar_ != nullptr) {
        statusBar_->Refresh();
    }
}

void MainWindow::SetTitle(std::u16string_view title) {
    setWindowTitle(QString::fromUtf16(title.data(), static_cast<qsizetype>(title.size())));
}

std::optional<std::size_t> MainWindow::ChooseBundleMember(std::u16string_view bundle,
                                                          const std::vector<BundleNode>& members) {
    return AskBundleMember(this, bundle, members);
}

std::optional<bundle::ChosenCompression> MainWindow::ChooseBundleCompression() {
    return AskBundleCompression(this);
}

void MainWindow::RowsChanged() {
    if (listPanel_ != nullptr) {
        // The old list's column widths carry over to the rebuilt one.
        listPanel_->StoreColumnWidths();
        listPanel_->RowsChanged();
    }
}

void MainWindow::ClosePluginPanel() {
    delete pluginPanel_;
    if (pluginArea_ == nullptr) {
        return;
    }
    for (QWidget* panel : pluginArea_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        delete panel;
    }
}

void* MainWindow::PanelParent() {
    return pluginArea_;
}

void MainWindow::ShowBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::RunLongWork(LongWork work, ProgressCallback show, LongWorkDone done) {
    if (!tasks_->Start(std::move(work), std::move(show), std::move(done))) {
        shell_->SetStatus(u"Another operation is running; wait for it or cancel it.", 0.0f);
    }
}

void MainWindow::ShowLongWork(bool running) {
    // Open, Save As and every asset command read or change the working copy; the list and the
    // panel would hand assets over from it; the dialogs change it.
    for (QMenu* menu : {fileMenu_, assetMenu_}) {
        for (QAction* action : menu->actions()) {
            action->setEnabled(!running);
        }
    }
    for (QWidget* widget : {static_cast<QWidget*>(listPanel_), pluginArea_}) {
        if (widget != nullptr) {
            widget->setEnabled(!running);
        }
    }
    // The Find dialog stays open to Esc and disables its own commands.
    for (QDialog* dialog : findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<FindDialog*>(dialog) == nullptr) {
            dialog->setEnabled(!running);
        }
    }
    setAcceptDrops(!running);
    cancelKey_->setEnabled(running);
    if (statusBar_ != nullptr) {
        statusBar_->ShowCancel(running);
    }
    // Working, but still answering: the pointer that says so, not the one of a blocked window.
    if (running) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void MainWindow::ShowPanel(void* panel) {
    if (pluginArea_ == nullptr) {
        return;
    }
    // The plug-in made its panel as a child of the area it was given; one that chose another
    // parent is moved there, since the host places and destroys it.
    auto* widget = static_cast<QWidget*>(panel);
    if (widget->parentWidget() != pluginArea_) {
        widget->setParent(pluginArea_);
    }
    pluginPanel_ = widget;
    widget->setGeometry(pluginArea_->rect());
    widget->show();
    widget->repaint();
}

void MainWindow::openAddAssetDialog() {
    delete addDialog_;
    addDialog_ = new AddAssetDialog(*shell_, this);
    addDialog_->show();
}

void MainWindow::openRemoveAssetDialog() {
    delete removeDialog_;
    removeDialog_ = new RemoveAssetDialog(*shell_, this);
    removeDialog_->show();
}

void MainWindow::openAboutDialog() {
    delete aboutDialog_;
    aboutDialog_ = new AboutDialog(this);
    aboutDialog_->show();
}

void MainWindow::openFindDialog() {
    // One Find dialog at a time: a new, empty one replaces the old.
    delete findChild<FindDialog*>(QString(), Qt::FindDirectChildrenOnly);
    (new FindDialog(*shell_, this, tasks_))->show();
}

void MainWindow::openPluginInfoDialog() {
    // One Plugin Info dialog at a time: a new one, showing the first plug-in, replaces the old.
    delete pluginInfoDialog_;
    pluginInfoDialog_ = new PluginInfoDialog(plugins_, this);
    pluginInfoDialog_->show();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Shutdown stops a running operation first: every writer leaves its target as it was when
    // stopped, so nothing is left half-written.
    Shutdown();
    event->accept();
    QMainWindow::closeEvent(event);
}

void MainWindow::Shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    tasks_->CancelAndWait();
    delete addDialog_;
    delete removeDialog_;
    delete aboutDialog_;
    delete pluginInfoDialog_;
    if (listPanel_ != nullptr) {
        listPanel_->StoreColumnWidths();
    }
    // Not being able to write the preferences loses only the settings of this run.
    SavePreferences(shell_->preferences);
    // The panel's code lives in its plug-in: it goes before the plug-ins are unloaded, and the
    // plug-ins before the document they may have been shown.
    ClosePluginPanel();
    shell_->SetPluginBridge(nullptr);
    host_.reset();
    UnloadPlugins(plugins_);
    shell_->Shutdown();
}

}  // namespace kestrova
