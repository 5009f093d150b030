// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/EqFile.h"

#include <QObject>
#include <QString>

class QMenu;
class QPoint;
class QWidget;

namespace tr640 {

class TForm1;

// The EQ graph's context menu: EQ files in and out for the microphone shown.
// An import shows what will be taken and asks first; its values then reach
// the unit band by band as typed changes do. Every box and file dialog goes
// through the main window's dialog seam.
class EqFileMenu : public QObject {
public:
    EqFileMenu(TForm1& form, const int& language);

    // The menu as the right mouse button opens it, its actions wired to the
    // handlers below; the caller owns it.
    QMenu* BuildMenu(QWidget* parent);

    void ImportEq();
    void ExportEq();
    void ExportCurve();
    void SavePicture();

    // The question an import asks: the bands to be taken and the warnings.
    QString ImportQuestion(const EqImportPlan& plan) const;
    // One line for a file that is refused.
    QString RefusalText(const EqRefusal& refusal) const;
    QString WarningText(const EqWarning& warning) const;

private:
    void ShowMenu(const QPoint& at);
    QString Tr(const char* chinese) const;
    QString BandLine(const EqImportPlan& plan, int band) const;
    bool WriteText(const QString& path, const std::string& text);

    TForm1& form_;
    const int& language_;
};

}  // namespace tr640
