#include "ui/main_frame.h"

#include "core/settings_store.h"
#include "ui/command_ids.h"
#include "ui/vantrel_view.h"
#include "widgets/artwork.h"
#include "widgets/screen_fit.h"
#include "widgets/wait_dialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace {

QIcon ProgramIcon() {
    QIcon icon;
    for (int nSize : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(QPixmap::fromImage(CArtwork::ProgramIcon(nSize)));
    return icon;
}

// The program icon with a red mark at its lower right: some host is down.
QIcon HostDownIcon() {
    QIcon icon;
    for (int nSize : {16, 24, 32, 48, 64, 128}) {
        QImage image = CArtwork::ProgramIcon(nSize);
        QPainter dc(&image);
        dc.setRenderHint(QPainter::Antialiasing);
        dc.setPen(QPen(Qt::white, std::max(1, nSize / 16)));
        dc.setBrush(QColor(200, 30, 40));
        const int nMark = nSize / 2;
        dc.drawEllipse(QRect(nSize - nMark, nSize - nMark, nMark - 1, nMark - 1));
        dc.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

CMainFrame::CMainFrame(CMessageBoxQueue* pQueue)
    : m_pView(new CVantrelView(this)), m_pWaitDlg(new CWaitDialog(this, pQueue)),
      m_bTrayAvailable(QSystemTrayIcon::isSystemTrayAvailable()) {
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(ProgramIcon());
    m_pView->SetWaitObserver(m_pWaitDlg);
    setCentralWidget(m_pView);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateTrayIcon();
    connect(m_pView, &CVantrelView::CommandMessage, this,
            [this](const QString& strText) { statusBar()->showMessage(strText, 10000); });
    connect(m_pView, &CVantrelView::AnyHostDownChanged, this, &CMainFrame::ShowHostDown);

    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const QRect rect =
        GetInitialGeometry(pScreen ? pScreen->availableGeometry() : QRect(0, 0, WIDTH, HEIGHT));
    resize(rect.size());
    move(rect.topLeft());
}

CMainFrame::~CMainFrame() = default;

QRect CMainFrame::GetInitialGeometry(const QRect& available) {
    return CScreenFit::Centred(QSize(WIDTH, HEIGHT), available);
}

void CMainFrame::SetPlacementStore(CSettingsStore* pStore) {
    m_pPlacementStore = pStore;
    if (!pStore)
        return;
    const std::string strGeometry = pStore->LoadWindowGeometry(PLACEMENT_NAME);
    // Saved on another screen, or at another scale, it may no longer fit.
    if (!strGeometry.empty() && restoreGeometry(QByteArray::fromStdString(strGeometry)))
        CScreenFit::Fit(this);
    const std::string strColumns = pStore->LoadWindowGeometry(COLUMNS_NAME);
    if (!strColumns.empty())
        m_pView->header()->restoreState(QByteArray::fromStdString(strColumns));
}

QAction* CMainFrame::AddCommand(int nId, const QString& strText, const QString& strPrompt,
                                const QString& strTip) {
    auto* pAction = new QAction(strText, this);
    pAction->setData(nId);
    pAction->setStatusTip(strPrompt);
    pAction->setToolTip(strTip);
    m_mapActions.insert(nId, pAction);
    return pAction;
}

void CMainFrame::CreateMenus() {
    const QString strAdd = QStringLiteral("Add new host to the list");
    const QString strEdit = QStringLiteral("Modify existing host");
    const QString strRemove = QStringLiteral("Remove the host from the list");
    const QString strStart = QStringLiteral("Start the tests on the selected hosts");
    const QString strStop = QStringLiteral("Stop the tests on the selected hosts");
    const QString strGraph = QStringLiteral("Build the graph for the selected host");
    const QString strReport = QStringLiteral("Generate the report for the selected hosts");
    const QString strCompare = QStringLiteral("Compare the selected hosts side by side");
    const QString strHistory = QStringLiteral("Show the test history of the selected host");

    QMenu* pFile = menuBar()->addMenu(QStringLiteral("&File"));
    pFile->addAction(AddCommand(ID_HOST_ADD, QStringLiteral("&Add host"), strAdd, strAdd));
    pFile->addAction(AddCommand(ID_HOST_EDIT, QStringLiteral("&Edit host"), strEdit, strEdit));
    pFile->addAction(
        AddCommand(ID_HOST_REMOVE, QStringLiteral("&Remove host"), strRemove, strRemove));
    pFile->addSeparator();
    pFile->addAction(AddCommand(ID_APP_EXIT, QStringLiteral("E&xit"),
                                QStringLiteral("Quit the application; prompts to save documents"),
                                QStringLiteral("Exit")));

    QMenu* pTest = menuBar()->addMenu(QStringLiteral("&Test"));
    pTest->addAction(AddCommand(ID_TEST_START, QStringLiteral("&Start tests"), strStart, strStart));
    pTest->addAction(AddCommand(ID_TEST_STOP, QStringLiteral("Sto&p tests"), strStop, strStop));
    pTest->addSeparator();
    pTest->addAction(
        AddCommand(ID_GRAPH_BUILD, QStringLiteral("&Build graph"), strGraph, strGraph));
    pTest->addAction(
        AddCommand(ID_HOST_HISTORY, QStringLiteral("&History"), strHistory, strHistory));
    pTest->addAction(
        AddCommand(ID_HOST_COMPARE, QStringLiteral("&Compare Hosts"), strCompare, strCompare));
    pTest->addAction(
        AddCommand(ID_REPORT_GENERATE, QStringLiteral("&Generate report"), strReport, strReport));

    menuBar()->addAction(AddCommand(ID_OPTIONS, QStringLiteral("&Options"),
                                    QStringLiteral("Change the program options"), QString()));

    QMenu* pHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    pHelp->addAction(AddCommand(ID_HELP_TUTORIAL, QStringLiteral("Vantrel &Tutorial"),
                                QStringLiteral("Launch the Tutorial"), QString()));
    pHelp->addAction(
        AddCommand(ID_APP_ABOUT, QStringLiteral("&About Vantrel..."),
                   QStringLiteral("Display program information, version number and copyright"),
                   QStringLiteral("About")));
    // The toolbar's tutorial button has no prompt and no tip.
    AddCommand(ID_TOOLBAR_TUTORIAL, QString(), QString(), QString());

    // Shown in the menus beside the commands.
    const std::pair<int, QList<QKeySequence>> arrShortcuts[] = {
        {ID_HOST_ADD, {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {ID_HOST_EDIT,
         {QKeySequence(Qt::Key_F2), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}},
        {ID_HOST_REMOVE, {QKeySequence(Qt::Key_Delete)}},
        {ID_TEST_START, {QKeySequence(Qt::Key_F5)}},
        {ID_TEST_STOP, {QKeySequence(Qt::SHIFT | Qt::Key_F5)}},
        {ID_GRAPH_BUILD, {QKeySequence(Qt::CTRL | Qt::Key_G)}},
        {ID_HOST_HISTORY, {QKeySequence(Qt::CTRL | Qt::Key_H)}},
        {ID_HOST_COMPARE, {QKeySequence(Qt::CTRL | Qt::Key_K)}},
        {ID_REPORT_GENERATE, {QKeySequence(Qt::CTRL | Qt::Key_R)}},
        {ID_OPTIONS, {QKeySequence(Qt::CTRL | Qt::Key_Comma)}},
        {ID_HELP_TUTORIAL, {QKeySequence(Qt::Key_F1)}},
    };
    for (const auto& [nId, keys] : arrShortcuts)
        GetAction(nId)->setShortcuts(keys);

    connect(GetAction(ID_HOST_ADD), &QAction::triggered, m_pView, &CVantrelView::OnAddHost);
    connect(GetAction(ID_HOST_EDIT), &QAction::triggered, m_pView, &CVantrelView::OnEditHost);
    connect(GetAction(ID_HOST_REMOVE), &QAction::triggered, m_pView, &CVantrelView::OnRemoveHost);
    connect(GetAction(ID_TEST_START), &QAction::triggered, m_pView, &CVantrelView::OnStartTests);
    connect(GetAction(ID_TEST_STOP), &QAction::triggered, m_pView, &CVantrelView::OnStopTests);
    connect(GetAction(ID_GRAPH_BUILD), &QAction::triggered, m_pView, &CVantrelView::OnBuildGraph);
    connect(GetAction(ID_HOST_HISTORY), &QAction::triggered, m_pView, &CVantrelView::OnHistory);
    connect(GetAction(ID_REPORT_GENERATE), &QAction::triggered, m_pView,
            &CVantrelView::OnGenerateReport);
    connect(GetAction(ID_HOST_COMPARE), &QAction::triggered, m_pView,
            &CVantrelView::OnCompareHosts);
    connect(GetAction(ID_OPTIONS), &QAction::triggered, m_pView, &CVantrelView::OnOptions);
    connect(GetAction(ID_HELP_TUTORIAL), &QAction::triggered, m_pView, &CVantrelView::OnTutorial);
    connect(GetAction(ID_APP_EXIT), &QAction::triggered, this, &CMainFrame::close);

    // The host commands again on the list itself; a right click selects the row first.
    m_pView->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* pSeparator = new QAction(this);
    pSeparator->setSeparator(true);
    m_pView->addActions({GetAction(ID_HOST_EDIT), GetAction(ID_HOST_REMOVE), pSeparator,
                         GetAction(ID_GRAPH_BUILD), GetAction(ID_HOST_HISTORY)});
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = addToolBar(QStringLiteral("Toolbar"));
    m_pToolBar->setObjectName(QStringLiteral("toolbar128"));
    m_pToolBar->setMovable(false);
    m_pToolBar->setFloatable(false);
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_pToolBar->setIconSize(QSize(CArtwork::TOOLBAR_WIDTH, CArtwork::TOOLBAR_HEIGHT));

    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const bool bLowColour = pScreen && pScreen->depth() < 9;
    const QImage strip = CArtwork::MaskMagenta(CArtwork::ToolbarStrip(bLowColour));
    // Buttons in order; 0 is a separator. The images are in the strip's order.
    const int arrButtons[] = {ID_HOST_ADD,
                              ID_HOST_EDIT,
                              ID_HOST_REMOVE,
                              0,
                              ID_TEST_START,
                              ID_TEST_STOP,
                              0,
                              ID_GRAPH_BUILD,
                              ID_HOST_HISTORY,
                              ID_HOST_COMPARE,
                              ID_REPORT_GENERATE,
                              0,
                              ID_TOOLBAR_TUTORIAL};
    const int arrImages[CArtwork::TOOLBAR_IMAGES] = {
        ID_HOST_ADD,    ID_HOST_EDIT,       ID_HOST_REMOVE,      ID_TEST_START,   ID_TEST_STOP,
        ID_GRAPH_BUILD, ID_REPORT_GENERATE, ID_TOOLBAR_TUTORIAL, ID_HOST_COMPARE, ID_HOST_HISTORY};
    for (int nId : arrButtons) {
        if (nId == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        const int nImage = static_cast<int>(
            std::find(std::begin(arrImages), std::end(arrImages), nId) - std::begin(arrImages));
        QAction* pAction = GetAction(nId);
        pAction->setIcon(QIcon(
            QPixmap::fromImage(strip.copy(nImage * CArtwork::TOOLBAR_WIDTH, 0,
                                          CArtwork::TOOLBAR_WIDTH, CArtwork::TOOLBAR_HEIGHT))));
        m_pToolBar->addAction(pAction);
        // No status bar prompt while the pointer rests on a button.
        m_pToolBar->widgetForAction(pAction)->installEventFilter(this);
    }
    connect(GetAction(ID_TOOLBAR_TUTORIAL), &QAction::triggered, m_pView,
            &CVantrelView::OnTutorial);
}

void CMainFrame::CreateStatusBar() {
    // The idle text; prompts cover it while they are shown.
    auto* pIdle = new QLabel(QStringLiteral("Vantrel"), this);
    pIdle->setObjectName(QStringLiteral("idleText"));
    statusBar()->addWidget(pIdle, 1);
}

void CMainFrame::CreateTrayIcon() {
    m_iconDown = HostDownIcon();
    m_pTray = new QSystemTrayIcon(windowIcon(), this);
    m_pTray->setToolTip(QStringLiteral("Vantrel"));
    auto* pMenu = new QMenu(this);
    pMenu->addAction(QStringLiteral("&Show"), this, &CMainFrame::RestoreFromTray);
    pMenu->addAction(GetAction(ID_TEST_START));
    pMenu->addAction(GetAction(ID_TEST_STOP));
    pMenu->addSeparator();
    pMenu->addAction(QStringLiteral("&Quit"), this, &CMainFrame::close);
    m_pTray->setContextMenu(pMenu);
    connect(m_pTray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    RestoreFromTray();
            });
    m_pTray->show();
}

void CMainFrame::ShowHostDown(bool bDown) {
    m_pTray->setIcon(bDown ? m_iconDown : windowIcon());
}

void CMainFrame::RestoreFromTray() {
    showNormal();
    raise();
    activateWindow();
    m_pView->setFocus();
}

void CMainFrame::changeEvent(QEvent* pEvent) {
    QMainWindow::changeEvent(pEvent);
    const bool bStateOrActivation =
        pEvent->type() == QEvent::WindowStateChange || pEvent->type() == QEvent::ActivationChange;
    // Without a tray there would be no way back: the window is then minimised as usual.
    if (bStateOrActivation && isMinimized() && m_bTrayAvailable && m_pTray->isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
    // A wait for the worker is in progress; it ends by itself.
    if (m_pWaitDlg->IsWaiting()) {
        pEvent->ignore();
        return;
    }
    m_pTray->hide();
    if (m_pPlacementStore) {
        m_pPlacementStore->SaveWindowGeometry(PLACEMENT_NAME, saveGeometry().toStdString());
        m_pPlacementStore->SaveWindowGeometry(COLUMNS_NAME,
                                              m_pView->header()->saveState().toStdString());
    }
    pEvent->accept();
    emit Closed();
}

bool CMainFrame::eventFilter(QObject* pObject, QEvent* pEvent) {
    if (pEvent->type() == QEvent::StatusTip && qobject_cast<QToolButton*>(pObject))
        return true;
    return QMainWindow::eventFilter(pObject, pEvent);
}
