// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's menu: a button in the top bar, between the link button
// and the master volume, so that no control of the layout moves.

#include "ui/Unit1.h"

#include "link/DialogSeam.h"
#include "link/Link.h"
#include "ui/Controls.h"
#include "ui/Unit4.h"

#include <QAction>
#include <QActionGroup>
#include <QGroupBox>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QUndoStack>

namespace tr640 {

namespace {

// The actions' shortcuts work anywhere in the window; the entry fields give
// up only undo and redo (see EntryFieldEvent), the keys they type with stay
// theirs.
QAction* AddAction(QMenu& menu, const QString& text, QObject* owner, std::function<void()> act,
                   const QList<QKeySequence>& keys = {}) {
    QAction* action = menu.addAction(text);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, owner, [act = std::move(act)] { act(); });
    return action;
}

}  // namespace

void TForm1::BuildMenu() {
    MenuBtn = new QToolButton(RzGroupBox1);
    MenuBtn->setObjectName(QStringLiteral("MenuBtn"));
    MenuBtn->setGeometry(501, 10, 36, 25);
    MenuBtn->setText(Tr(language_, "菜单"));
    MenuBtn->setPopupMode(QToolButton::InstantPopup);
    MainMenu = new QMenu(MenuBtn);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    MenuBtn->setMenu(MainMenu);

    QMenu* file = MainMenu->addMenu(Tr(language_, "文件"));
    LoadAction = AddAction(*file, Tr(language_, "加载预设..."), this, [this] { RzButton5Click(RzButton4); },
                           {QKeySequence::Open});
    SaveAction = AddAction(*file, Tr(language_, "保存预设..."), this, [this] { RzButton5Click(RzButton6); },
                           {QKeySequence::Save});
    file->addSeparator();
    AddAction(*file, Tr(language_, "退出程序"), this, [this] { close(); }, {QKeySequence::Quit});

    QMenu* edit = MainMenu->addMenu(Tr(language_, "编辑"));
    UndoAction = AddAction(*edit, Tr(language_, "撤销"), this, [this] { Undo(); }, {QKeySequence::Undo});
    RedoAction = AddAction(*edit, Tr(language_, "重做"), this, [this] { Redo(); },
                           {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    auto enable = [this] {
        UndoAction->setEnabled(history_->Stack().canUndo());
        RedoAction->setEnabled(history_->Stack().canRedo());
    };
    connect(&history_->Stack(), &QUndoStack::indexChanged, this, enable);
    enable();
    edit->addSeparator();
    AddAction(*edit, Tr(language_, "复制话筒1的EQ到话筒2"), this, [this] { CopyEq(0, 1); });
    AddAction(*edit, Tr(language_, "复制话筒2的EQ到话筒1"), this, [this] { CopyEq(1, 0); });
    edit->addSeparator();
    AddAction(*edit, Tr(language_, "当前设置存为A"), this, [this] { StoreCompare(0); });
    AddAction(*edit, Tr(language_, "当前设置存为B"), this, [this] { StoreCompare(1); });
    SwitchCompareAction = AddAction(*edit, Tr(language_, "A/B切换"), this, [this] {
        if (!SwitchCompare()) dialogs_.PlainMessage(Tr(language_, "请先把当前设置存为A和B。"));
    });

    QMenu* languages = MainMenu->addMenu(Tr(language_, "语言"));
    auto* group = new QActionGroup(languages);
    for (const auto& [code, text] :
         {std::pair{kLanguageChinese, Tr(language_, "中文")}, std::pair{kLanguageEnglish, QStringLiteral("English")}}) {
        QAction* choice = AddAction(*languages, text, this, [this, code = code] {
            if (chooseLanguage_) chooseLanguage_(code);
        });
        choice->setCheckable(true);
        choice->setChecked(language_ == code);
        group->addAction(choice);
    }

    QMenu* help = MainMenu->addMenu(Tr(language_, "帮助"));
    AddAction(*help, Tr(language_, "关于..."), this, [this] { ShowAbout(); });
    AddAction(*help, Tr(language_, "使用手册"), this, [this] { ShowManual(); }, {QKeySequence::HelpContents});

    // F5 connects, as the link button does.
    ConnectAction = new QAction(this);
    ConnectAction->setShortcut(QKeySequence(Qt::Key_F5));
    ConnectAction->setShortcutContext(Qt::WindowShortcut);
    connect(ConnectAction, &QAction::triggered, this, &TForm1::LinkBtnClick);
    addAction(ConnectAction);
    // The menu's shortcuts work while the menu is closed.
    addActions(file->actions() + edit->actions() + help->actions());
}

void TForm1::ShowAbout() {
    const QString about = aboutText_ ? aboutText_() : QString();
    dialogs_.Message(Tr(language_, "关于"), about);
}

void TForm1::ShowManual() {
    dialogs_.Message(Tr(language_, "使用手册"),
                     Tr(language_, "使用手册：man tr640（命令行：man tr640ctl），或软件包中的 README。"));
}

}  // namespace tr640
