#pragma once

#include <QWidget>

namespace vistrel {

// The big number counted down before a recording's first frame, centred on the area. It is
// gone before the first frame is taken.
class CountdownWindow : public QWidget
{
    Q_OBJECT
public:
    // `area` in global points.
    explicit CountdownWindow(const QRect &area);
    void setNumber(int seconds);
    int number() const { return m_number; }

    static constexpr int side = 140;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_number = 0;
};

} // namespace vistrel
