#include "gui_test_support.h"

#include "graph/font_faces.h"

#include <QtWidgets>

QApplication& EnsureApp() {
    static int argc = 1;
    static char arg0[] = "vantrel-gui-test";
    static char* argv[] = {arg0, nullptr};
    static QApplication* pApp = [] {
        auto* pNew = new QApplication(argc, argv);
        PinFonts();
        return pNew;
    }();
    return *pApp;
}

void PinFonts() {
    if (!MapFontFaces())
        qWarning("DejaVu Sans not found: pictures will differ (fonts-dejavu-core, scripts/setup)");
    QFont font(QStringLiteral("DejaVu Sans"), 9);            // the size Qt's own default has
    font.setHintingPreference(QFont::PreferVerticalHinting); // slight, Debian's default
    QApplication::setFont(font);
}

CBoxAnswerer::CBoxAnswerer(QMessageBox::StandardButton answer) : m_answer(answer) {
    connect(&m_timer, &QTimer::timeout, this, [this] {
        for (QWidget* pWidget : QApplication::topLevelWidgets())
            if (auto* pBox = qobject_cast<QMessageBox*>(pWidget); pBox && pBox->isVisible()) {
                m_arrSeen.push_back({pBox->windowTitle(), pBox->text(), pBox->standardButtons(),
                                     pBox->standardButton(pBox->defaultButton()), pBox->icon(),
                                     pBox->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                                     pBox->parentWidget() != nullptr,
                                     QApplication::activeModalWidget() == pBox});
                QAbstractButton* pButton = pBox->button(m_answer);
                (pButton ? pButton : pBox->buttons().value(0))->click(); // hides the box
            }
    });
    m_timer.start(10);
}

QStringList CBoxAnswerer::Texts() const {
    QStringList list;
    for (const auto& seen : m_arrSeen)
        list << seen.strText;
    return list;
}

CDialogDriver::CDialogDriver() {
    connect(&m_timer, &QTimer::timeout, this, [this] {
        QWidget* pModal = QApplication::activeModalWidget();
        if (auto* pWizard = qobject_cast<QWizard*>(pModal)) {
            QWizardPage* pPage = pWizard->currentPage();
            const QList<QLineEdit*> edits = pPage->findChildren<QLineEdit*>();
            if (edits.size() == 3) {
                edits[0]->setText(m_strName);
                edits[1]->setText("acme.example");
                edits[2]->setText("www.acme.example/t.html");
            }
            for (QComboBox* pList : pPage->findChildren<QComboBox*>())
                pList->setCurrentIndex(0);
            if (pWizard->button(QWizard::FinishButton)->isVisible())
                pWizard->button(QWizard::FinishButton)->click();
            else
                pWizard->next();
        } else if (auto* pDialog = qobject_cast<QDialog*>(pModal);
                   pDialog && pDialog->findChild<QSpinBox*>()) {
            pDialog->findChild<QSpinBox*>()->setValue(m_nInterval);
            pDialog->accept();
        }
    });
    m_timer.start(10);
}
