#ifndef CHARTCURSORS_H
#define CHARTCURSORS_H

#include <QObject>
#include <QPointF>

#include <array>
#include <optional>

class PowerChart;
class QChartView;
class QGraphicsLineItem;
class QGraphicsSimpleTextItem;
class QLabel;

// Two cursors on the paused chart, each a vertical line at a sample, and a
// readout of both samples and of what lies between them: how many samples, how
// long, and each curve's lowest, highest and mean. A click places A, a
// shift+click or a right click places B, and a drag that starts on a cursor
// moves it (one that starts anywhere else pans, as without cursors). Resuming
// the live chart takes both away.
class ChartCursors : public QObject
{
    Q_OBJECT

public:
    enum Cursor { A, B };
    // Most rows a copied range holds: the history's depth.
    static constexpr qint64 maximumCopiedRows = 1000000;

    ChartCursors(PowerChart *chart, QChartView *view, QObject *parent = nullptr);

    void place(Cursor cursor, qint64 sampleNumber);
    void clear();
    std::optional<qint64> position(Cursor cursor) const { return m_positions[cursor]; }
    // Where the arrival times in the readout count from.
    void setTimeOrigin(qint64 clockUs) { m_originUs = clockUs; }
    QString readoutText() const;

    // The samples to copy: those between the cursors, both included, or without two
    // cursors those drawn; at most maximumCopiedRows from the first.
    qint64 rangeFirstSample() const { return range().first; }
    qint64 rangeRows() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::pair<qint64, qint64> range() const;
    std::optional<Cursor> cursorNear(const QPointF &viewPosition) const;
    double viewXOf(qint64 sampleNumber) const;
    void redraw();
    QString sampleText(Cursor cursor) const;
    QString betweenText() const;

    PowerChart *const m_chart;
    QChartView *const m_view;
    std::array<std::optional<qint64>, 2> m_positions;
    std::array<QGraphicsLineItem *, 2> m_lines {};
    std::array<QGraphicsSimpleTextItem *, 2> m_labels {};
    QLabel *m_readout;
    qint64 m_originUs = 0;
    std::optional<Cursor> m_dragged;
    std::optional<QPointF> m_pressedAt;
};

#endif // CHARTCURSORS_H
