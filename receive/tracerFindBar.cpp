#include "receive/tracerFindBar.h"

#include "link/transport.h"
#include "receive/tracerEdit.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimerEvent>

namespace korvel {

namespace {

template <typename Widget> Widget* named(Widget* widget, const char* name, const QString& accessible) {
    widget->setObjectName(QLatin1String(name));
    widget->setAccessibleName(accessible);
    return widget;
}

// The kinds in the order the drop-down lists them.
constexpr TracerFindKind kKinds[] = {TracerFindKind::text, TracerFindKind::id, TracerFindKind::data};

} // namespace

TracerFindBar::TracerFindBar(TracerEdit* tracer, QWidget* parent) : QWidget(parent), tracer_(tracer) {
    setObjectName(QStringLiteral("tracerFindBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);

    controls_ = named(new QWidget, "frTracerFind", QStringLiteral("Find in the Tracer"));
    auto* row = new QHBoxLayout(controls_);
    row->setContentsMargins(0, 0, 0, 0);
    kind_ = named(new QComboBox, "cboTracerFindKind", QStringLiteral("Find by"));
    kind_->addItems({QStringLiteral("Text"), QStringLiteral("ID"), QStringLiteral("Data")});
    pattern_ = named(new QLineEdit, "txtTracerFind", QStringLiteral("Find"));
    pattern_->setPlaceholderText(QStringLiteral("Find"));
    previous_ = named(new QPushButton(QStringLiteral("Previous")), "cmdTracerFindPrevious",
                      QStringLiteral("Previous"));
    next_ = named(new QPushButton(QStringLiteral("Next")), "cmdTracerFindNext", QStringLiteral("Next"));
    progress_ = named(new QProgressBar, "prgTracerFind", QStringLiteral("Search progress"));
    progress_->setRange(0, 1000);
    progress_->setMaximumWidth(120);
    cancel_ = named(new QPushButton(QStringLiteral("Cancel")), "cmdTracerFindCancel",
                    QStringLiteral("Cancel search"));
    state_ = named(new QLabel, "lblTracerFindState", QStringLiteral("Find result"));
    close_ =
        named(new QPushButton(QStringLiteral("Close")), "cmdTracerFindClose", QStringLiteral("Close find"));
    for (QWidget* w : std::initializer_list<QWidget*>{kind_, pattern_, previous_, next_, progress_, cancel_,
                                                      state_, close_})
        row->addWidget(w, w == pattern_ ? 1 : 0);
    progress_->hide();
    cancel_->hide();
    controls_->hide();

    position_ = named(new QLabel, "lblTracerPosition", QStringLiteral("Tracer position"));
    layout->addWidget(controls_, 1);
    layout->addStretch();
    layout->addWidget(position_);

    connect(tracer_, &TracerEdit::positionChanged, this, &TracerFindBar::showPosition);
    connect(tracer_, &TracerEdit::findRequested, this, &TracerFindBar::open);
    connect(tracer_, &TracerEdit::findAgainRequested, this, [this](bool forward) {
        if (pattern_->text().isEmpty())
            open();
        else
            find(forward);
    });
    connect(pattern_, &QLineEdit::textChanged, this, &TracerFindBar::patternChanged);
    connect(kind_, &QComboBox::currentIndexChanged, this, &TracerFindBar::patternChanged);
    connect(next_, &QPushButton::clicked, this, [this] { find(true); });
    connect(previous_, &QPushButton::clicked, this, [this] { find(false); });
    connect(cancel_, &QPushButton::clicked, this, &TracerFindBar::cancel);
    connect(close_, &QPushButton::clicked, this, &TracerFindBar::close);
    pattern_->installEventFilter(this);
    showPosition();
}

void TracerFindBar::showPosition() {
    const QLocale locale;
    position_->setText(
        QStringLiteral("Line %1 of %2")
            .arg(locale.toString(tracer_->caret().line + 1), locale.toString(tracer_->store().lineCount())));
}

void TracerFindBar::open() {
    controls_->show();
    pattern_->setFocus();
    pattern_->selectAll();
    patternChanged();
}

void TracerFindBar::close() {
    cancel();
    controls_->hide();
    tracer_->setMarker({});
    tracer_->setFocus();
}

void TracerFindBar::patternChanged() {
    cancel();
    query_ = compileTracerQuery(kKinds[std::max(0, kind_->currentIndex())], pattern_->text().toStdString());
    showState(QString::fromStdString(query_.error));
    if (query_.valid())
        tracer_->setMarker([query = query_](std::string_view line) { return matchTracerLine(query, line); });
    else
        tracer_->setMarker({});
}

void TracerFindBar::find(bool forward) {
    cancel();
    if (!query_.valid()) {
        showState(QString::fromStdString(query_.error));
        return;
    }
    search_ =
        std::make_unique<TracerSearch>(query_, tracer_->caret().line, forward, tracer_->store().lineCount());
    searchStart_ = clockSeconds();
    showState(QString());
    searchOn();
    if (search_)
        slices_.start(0, this);
}

void TracerFindBar::searchOn() {
    if (!search_)
        return;
    if (!search_->step(tracer_->store(), sliceBytes_)) {
        if (clockSeconds() - searchStart_ >= kProgressAfterSeconds) {
            progress_->setValue(static_cast<int>(search_->progress() * 1000));
            progress_->show();
            cancel_->show();
        }
        return;
    }
    searchDone();
}

void TracerFindBar::searchDone() {
    const std::optional<int> line = search_->found();
    cancel();
    if (!line) {
        showState(QStringLiteral("Not found"));
        return;
    }
    const std::string_view bytes = tracer_->store().line(*line);
    const std::optional<TracerSpan> match = matchTracerLine(query_, bytes);
    const auto column = [&bytes](std::size_t end) {
        return static_cast<int>(utf16Length(bytes.substr(0, end)));
    };
    const TracerSpan span = match.value_or(TracerSpan{});
    tracer_->setSelection(TracerPos{*line, column(span.start)},
                          TracerPos{*line, column(span.start + span.length)});
}

void TracerFindBar::finishSearch() {
    while (search_)
        searchOn();
}

void TracerFindBar::cancel() {
    slices_.stop();
    search_.reset();
    progress_->hide();
    cancel_->hide();
}

void TracerFindBar::showState(const QString& text) {
    state_->setText(text);
}

void TracerFindBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() != slices_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    searchOn();
}

bool TracerFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != pattern_ || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Escape:
        if (searching())
            cancel();
        else
            close();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        find(!(key->modifiers() & Qt::ShiftModifier));
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace korvel
