#pragma once
// The editor's main window: menus, the asset list panel and the plug-in panel area side by side
// above the status bar. It implements the view that the shell core paints through and turns menu
// commands into the core's commands; the core holds every decision and all state.

#include <memory>

#include <QMainWindow>
#include <QPointer>

#include "editor/plugins/plugin_host.h"
#include "editor/plugins/plugin_table.h"
#include "editor/plugins/ui/plugin_info_dialog.h"
#include "editor/shell/editor_shell.h"
#include "editor/shell/ui/asset_dialogs.h"

class QAction;
class QMenu;
class QShortcut;
class QSplitter;

namespace kestrova {

class ListPanel;
class QtFileChooser;
class QtMessageSink;
class StatusBar;
class TaskRunner;

class MainWindow : public QMainWindow, public ShellView, public PluginPanelSite {
    Q_OBJECT
public:
    static constexpr int kStatusBarHeight = 32;

    // Creates the window hidden, at the position and size that `preferences` hold. Files are
    // chosen through `chooser` and warnings shown through `messages` when they are given (tests
    // script them), otherwise through Qt dialogs and message boxes.
    explicit MainWindow(const Preferences& preferences, FileChooser* chooser = nullptr,
                        MessageSink* messages = nullptr);
    ~MainWindow() override;

    // Fills the window and shows it: plug-ins, the file dialog's owner, an empty document, the
    // list panel, the window itself (maximized when it was), the status bar and the layout.
    void CreatePanels();

    EditorShell& shell() { return *shell_; }
    ListPanel* listPanel() const { return listPanel_; }
    StatusBar* statusBar() const { return statusBar_; }
    QSplitter* splitter() const { return splitter_; }
    // Where the current plug-in's panel lives, and the panel shown there (null when none).
    QWidget* pluginPanelArea() const { return pluginArea_; }
    QWidget* pluginPanel() const { return pluginPanel_; }
    const PluginTable& plugins() const { return plugins_; }
    PluginHost* pluginHost() const { return host_.get(); }
    PluginInfoDialog* pluginInfoDialog() const { return pluginInfoDialog_; }
    QMenu* assetMenu() const { return assetMenu_; }
    AddAssetDialog* addAssetDialog() const { return addDialog_; }
    RemoveAssetDialog* removeAssetDialog() const { return removeDialog_; }
    AboutDialog* aboutDialog() const { return aboutDialog_; }
    // Runs the window's long operations, one at a time.
    TaskRunner* taskRunner() const { return tasks_; }

    // --- ShellView ---
    void RefreshStatusBar() override;
    void SetTitle(std::u16string_view title) override;
    void RowsChanged() override;
    void ClosePluginPanel() override;
    void ShowBusy(bool busy) override;
    void RunLongWork(LongWork work, ProgressCallback show, LongWorkDone done) override;
    std::optional<std::size_t> ChooseBundleMember(std::u16string_view bundle,
                                                  const std::vector<BundleNode>& members) override;
    std::optional<bundle::ChosenCompression> ChooseBundleCompression() override;

    // --- PluginPanelSite ---
    void* PanelParent() override;
    void ShowPanel(void* panel) override;

public slots:
    void openAddAssetDialog();
    void openRemoveAssetDialog();
    void openAboutDialog();
    // Asset > Find: the Find dialog joins here.
    void openFindDialog();
    // Plugin > Info: the Plugin Info dialog joins here.
    void openPluginInfoDialog();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A file dropped on the window opens as File > Open would open it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateMenus();
    void LayoutClientArea();
    void TrackGeometry(bool moved);
    void RecordRectangle();
    void FitFrameToStoredSize();
    void StoreListPanelRatio(int listWidth);
    void Shutdown();
    void ScheduleScreenshot(const QString& path);
    // While a long operation runs, the commands that read or change the document are disabled
    // and Cancel (the status bar's button, Esc) is offered.
    void ShowLongWork(bool running);

    std::unique_ptr<QtFileChooser> ownChooser_;
    std::unique_ptr<QtMessageSink> ownMessages_;
    MessageSink* messages_ = nullptr;
    std::unique_ptr<EditorShell> shell_;
    PluginTable plugins_;
    std::unique_ptr<PluginHost> host_;

    QWidget* client_ = nullptr;
    QSplitter* splitter_ = nullptr;
    ListPanel* listPanel_ = nullptr;
    QWidget* pluginArea_ = nullptr;
    StatusBar* statusBar_ = nullptr;
    QMenu* assetMenu_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    TaskRunner* tasks_ = nullptr;
    QShortcut* cancelKey_ = nullptr;

    QPointer<AddAssetDialog> addDialog_;
    QPointer<RemoveAssetDialog> removeDialog_;
    QPointer<AboutDialog> aboutDialog_;
    QPointer<PluginInfoDialog> pluginInfoDialog_;
    QPointer<QWidget> pluginPanel_;

    // Geometry is tracked only once the window is shown with its panels: earlier size and move
    // notifications describe a window that is still being set up.
    bool tracking_ = false;
    bool shutDown_ = false;
    // The stored outer size still has to be turned into a client size once the frame is known.
    bool frameFitPending_ = true;
};

}  // namespace kestrova
