#pragma once

#include <QMap>
#include <QRect>
#include <QSet>
#include <QVector>

#include "app/tunnel/grapher_series.h"

class QPainter;
class QWidget;

// Storage and layout shared by the bar graphs of the tunnel page: per integer key a ring of the
// last `capacity` samples (each `valuesPerSample` ints), and the walk that turns a key's ring into
// rectangles, oldest sample first (bar 0 at the left). The graph widget that derives from it
// (second base, after QWidget) decides how one sample becomes rectangles and paints them.
//
// Threads: GUI thread only, like its widget.
class Grapher {
public:
    using RectLists = QVector<QVector<QRect>>;

    Grapher(int capacity, int valuesPerSample);
    virtual ~Grapher();

    // Stores a copy of `sample` as the newest of `key`, overwriting the oldest once the ring is
    // full. The copy always has `valuesPerSample` ints (missing ones 0). Returns 1 when the write
    // position wrapped to slot 0, else 0.
    virtual int insert(int key, const QVector<int>& sample);
    // Fills `rects` (one list per value) for every slot of `key`, oldest first, through makeRects,
    // after values() has set the scale in `lo` and `hi`. Nothing for a key without samples.
    virtual void layout(int key, RectLists* rects, int* lo, int* hi);
    // The smallest and largest single value of any slot of `key`; both 0 without samples (and
    // never above 0 or below 0 respectively, since unwritten slots hold zeros).
    virtual void values(int key, int* lo, int* hi);
    // Drops every key's samples.
    virtual void clear();
    // Appends the rectangles of bar `i` (0 = oldest) for one sample to `rects`.
    virtual void makeRects(int i, int lo, int hi, const QVector<int>& sample, RectLists* rects) = 0;

    void remove(int key);
    void retainKeys(const QSet<int>& keep);

    int capacity() const { return capacity_; }
    int valuesPerSample() const { return valuesPerSample_; }

protected:
    // What every graph paints first: the style's background of `widget`, then the dark, framed plot
    // area left of the `labelWidth` pixels of labels.
    static void paintPlotArea(QWidget& widget, QPainter& painter, int labelWidth);
    // The slot of `key` shown as bar i, or null for a key without samples.
    const QVector<int>* slot(int key, int i) const;
    // The index in the ring that bar i of `key` shows; -1 for a key without samples.
    int slotIndex(int key, int i) const;

private:
    GrapherSeries initSeries() const;

    QMap<int, GrapherSeries> samples;
    const int capacity_;         // slots per series, and bars per graph; at least 1
    const int valuesPerSample_;  // ints per stored sample
};
