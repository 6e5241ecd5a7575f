#pragma once

#include <QDialog>
#include <QRadioButton>
#include <map>
#include <vector>

#include "ui/SettingsView.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quoril {

// A radio button that behaves as a classic automatic radio button: a click checks it and clears
// the other buttons of its group, while a program may check or clear any single button.
// Window thread only.
class GroupRadioButton : public QRadioButton {
    Q_OBJECT

  public:
    GroupRadioButton(const QString& text, std::vector<GroupRadioButton*>& group, QWidget* parent);

  protected:
    void nextCheckState() override;

  private:
    std::vector<GroupRadioButton*>& m_group;
};

// The settings window in Qt widgets: the groups " ASIO selection " and " Player settings ", OK,
// Cancel and About. What it shows and what OK stores is the settings logic's business
// (SettingsController); the window only hands the user's actions on. "About" opens the About
// window directly. Every member runs on the window thread.
class SettingsWindow : public QDialog, public SettingsView {
    Q_OBJECT

  public:
    explicit SettingsWindow(QWidget* parent = nullptr);

    // SettingsView
    int runModal(SettingsController& controller) override;
    void endDialog(int result) override;
    void hide() override;
    void showMessageBox(const std::string& text, const std::string& caption) override;
    void enableControl(int controlId, bool enabled) override;
    void setControlText(int controlId, const std::string& text) override;
    void setChecked(int controlId, bool checked) override;
    bool isChecked(int controlId) const override;
    void clearCombo(int controlId) override;
    void addComboItem(int controlId, const std::string& text) override;
    int comboCount(int controlId) const override;
    std::string comboItemText(int controlId, int index) const override;
    void setComboSelection(int controlId, int index) override;
    int comboSelection(int controlId) const override;

    // The widget that carries a SettingsControl id (nullptr for an unknown id).
    QWidget* control(int controlId) const;
    QGroupBox* asioGroup() const { return m_asioGroup; }
    QGroupBox* playerGroup() const { return m_playerGroup; }

  public slots:
    void accept() override;
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QPushButton* addButton(int controlId, const QString& caption, QWidget* parent);
    GroupRadioButton* addRadio(int controlId, const QString& caption, std::vector<GroupRadioButton*>& group,
                               QWidget* parent);
    QComboBox* combo(int controlId) const;
    // A fixed frame of 258 x 148 dialog units, grown when the texts need more room.
    void fitToContents();
    void openAbout();

    SettingsController* m_controller = nullptr;  // set for the modal run
    bool m_ended = false;                        // endDialog was called
    int m_endResult = SettingsControl::kCancel;
    bool m_filling = false;  // the program, not the user, is changing a drop-down list

    QGroupBox* m_asioGroup;
    QGroupBox* m_playerGroup;
    std::map<int, QWidget*> m_controls;
    std::vector<GroupRadioButton*> m_rateGroup;
    std::vector<GroupRadioButton*> m_diagnosticsGroup;
    std::vector<GroupRadioButton*> m_playbackGroup;
    std::vector<GroupRadioButton*> m_converterGroup;
    std::vector<GroupRadioButton*> m_zebGroup;
    std::vector<GroupRadioButton*> m_aweGroup;
};

}  // namespace quoril
