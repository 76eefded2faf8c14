#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QMap>
#include <QRect>

class CMessageBoxQueue;
class CSettingsStore;
class CVantrelView;
class CWaitDialog;
class QSystemTrayIcon;
class QToolBar;

// The program's one window: menu, toolbar, status bar, the host list as its client area, and
// an icon in the system tray for as long as it exists. Minimising hides the window when there
// is a tray to bring it back from; a double-click on the tray icon shows it again.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int WIDTH = 800;
    static constexpr int HEIGHT = 560;

    explicit CMainFrame(CMessageBoxQueue* pQueue = nullptr);
    ~CMainFrame() override;

    CVantrelView* GetView() const { return m_pView; }
    CWaitDialog* GetWaitDialog() const { return m_pWaitDlg; }
    QToolBar* GetToolBar() const { return m_pToolBar; }
    QSystemTrayIcon* GetTrayIcon() const { return m_pTray; }
    // The action of a menu or toolbar command.
    QAction* GetAction(int nId) const { return m_mapActions.value(nId); }

    // Centred in the screen's available area, shrunk to fit it.
    static QRect GetInitialGeometry(const QRect& available);

    // Takes the size and position saved in pStore at the last close, if any (else keeps the
    // centred start), and saves them there when the window closes. Null: nothing is kept.
    void SetPlacementStore(CSettingsStore* pStore);
    static constexpr char PLACEMENT_NAME[] = "MainFrame";
    // The host list's column widths, kept beside the window's place.
    static constexpr char COLUMNS_NAME[] = "HostListColumns";

    // Whether the desktop offers a system tray (decided at creation; tests change it).
    void SetTrayAvailable(bool bAvailable) { m_bTrayAvailable = bAvailable; }

signals:
    // The window was closed: the program ends.
    void Closed();

protected:
    void changeEvent(QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    QAction* AddCommand(int nId, const QString& strText, const QString& strPrompt,
                        const QString& strTip);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateTrayIcon();
    void RestoreFromTray();
    // The tray shows a second icon while any host is down.
    void ShowHostDown(bool bDown);

    CVantrelView* m_pView;
    CWaitDialog* m_pWaitDlg;
    QToolBar* m_pToolBar = nullptr;
    QSystemTrayIcon* m_pTray = nullptr;
    QMap<int, QAction*> m_mapActions;
    QIcon m_iconDown;
    bool m_bTrayAvailable;
    CSettingsStore* m_pPlacementStore = nullptr;
};
