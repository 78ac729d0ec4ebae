#pragma once

#include <QSlider>

#include <vector>

class QLabel;

// The delay control of the tunnel page: a horizontal slider (milliseconds, from 0 to the codec's
// scale maximum) whose handle is the maximum allowed delay. Its groove is overdrawn with five
// coloured bands, one per interval between the codec's delay points, and a black dot at the
// codec's current maximum packet delay.
//
// Threads: GUI thread only.
class DelaySlider : public QSlider {
public:
    static constexpr int kBandCount = 5;
    // The scale shown until the codec's figures arrive, in milliseconds.
    static constexpr int kEmptyScaleMs = 100;

    explicit DelaySlider(QWidget* parent);
    ~DelaySlider() override;

    // `delay`: the codec's maximum packet delay; `maximum`: the scale maximum (both ms). Ignored
    // unless the maximum is above 0.
    void setMarks(int delay, int maximum);
    // The five delay points (ms); ignored unless there are exactly five and the maximum is above 0.
    void setDelayPoints(const std::vector<int>& points, int maximum);
    // Forgets the codec's figures: no bands and no dot on a scale of kEmptyScaleMs.
    void clear();

    int grooveWidth() const { return width() - 40; }
    int grooveHeight() const { return height(); }
    // Whether a key is held down on the slider: its auto-repeat may step the handle further.
    bool isKeyHeld() const { return heldKey != 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setScaleMaximum(int maximum);

    bool hasFigures = false;     // the codec's marks or delay points are shown
    int heldKey = 0;             // the key pressed and not yet released; 0: none
    int packetDelayPercent = 0;  // 0..100 of the scale
    // Band widths in percent; they add up to 100 once set.
    std::vector<int> segments = std::vector<int>(kBandCount, 0);
    QLabel* minLabel;    // child; "0ms" at the left
    QLabel* maxLabel;    // child; the scale maximum at the right
    QLabel* titleLabel;  // child; "Delay"
};
