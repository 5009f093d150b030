// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <map>
#include <random>
#include <string>
#include <vector>

class QWidget;

namespace tr640 {
class TForm1;
class TForm14;
}  // namespace tr640

namespace tr640::soak {

class SoakRig;

// A person at the program, played from a seed: types into fields, steps
// them with the arrow keys and the wheel, drags the EQ handles, ticks bypass
// boxes, moves sliders, picks list items, changes pages, recalls and saves
// user modes, loads and saves presets, resets the EQ, shapes compressor
// curves and now and then presses the link button. Only what is on screen
// is touched, through the mouse and the keyboard.
class SoakUser {
public:
    SoakUser(SoakRig& rig, unsigned seed);

    // One action, chosen at random; returns its name. Without `pressLink`
    // the link button is left alone (its new connection would reread
    // everything the soak wants to compare).
    const char* Act(bool pressLink = true);

    // How often each action was taken.
    const std::map<std::string, int>& Taken() const { return taken_; }

private:
    TForm1& w();
    TForm14& compressor();

    int Uniform(int low, int high);
    bool Chance(double p);
    template <typename T>
    T* PickVisible(const std::vector<T*>& widgets);
    template <typename T>
    std::vector<T*> Visible();

    void ChangeFirstSometimes();
    void TypeIntoField();
    void StepField();
    void TurnWheel();
    void DragHandle();
    void TickBypass();
    void MoveSlider();
    void PickListItem();
    void ChangePage();
    void RecallMode();
    void SaveMode();
    void SavePreset();
    void LoadPreset();
    void ResetEq();
    void ShapeCompressor();
    void PressLink();

    SoakRig& rig_;
    std::mt19937 random_;
    std::map<std::string, int> taken_;
};

}  // namespace tr640::soak
