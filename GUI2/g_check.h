// A check box that does not toggle itself when clicked: its page toggles it.
#pragma once

#include <QCheckBox>

class manual_check_box : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};
