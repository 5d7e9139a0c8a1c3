#include "logging/Logging.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include <cstdio>

#include "widgets/OpenDialogs.h"
#include "widgets/RefreshTick.h"
#include "widgets/Twips.h"
#include "link/LinkStatus.h"
#include "logging/ExportJob.h"
#include "logging/LogExport.h"

namespace quarn {
namespace {

constexpr int kClientWidth = 6840;
constexpr int kClientHeight = 1785;
// A strip below the classic controls for the playback speed and the export.
constexpr int kExtraStrip = 30;
constexpr int kRates[] = {0, 10, 25, 50, 100, 200};

QString ExportOntoItsLog(const QString& csv) {
    return QStringLiteral("\"%1\" is the log itself; choose another name for the export.").arg(csv);
}

QPushButton* Button(const char* name, const QString& text, QRect rect, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(rect);
    return b;
}

}  // namespace

Logging::Logging(LogOperations& log, LinkStatus& status, LoggingHost& host, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_log(log),
      m_status(status),
      m_host(host) {
    setObjectName(QStringLiteral("Logging"));
    setWindowTitle(QStringLiteral("Logging Control"));
    // Never WA_DeleteOnClose: see the class comment.
    setFixedSize(Twips(kClientWidth), Twips(kClientHeight) + kExtraStrip);
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPixelSize(11);
    setFont(small);

    auto* fileNameLabel = new QLabel(QStringLiteral("Log File Name:"), this);
    fileNameLabel->setObjectName(QStringLiteral("Label1"));
    fileNameLabel->setGeometry(TwipsRect(240, 120, 1215, 255));
    m_logFile = new QLineEdit(this);
    m_logFile->setObjectName(QStringLiteral("LogFile"));
    m_logFile->setGeometry(TwipsRect(1560, 120, 4335, 285));
    m_browse = Button("Browse", QStringLiteral("Browse"), TwipsRect(6000, 120, 735, 255), this);
    m_record = Button("Record", QStringLiteral("Record"), TwipsRect(240, 600, 1215, 375), this);
    m_play = Button("Play", QStringLiteral("Play"), TwipsRect(3240, 600, 975, 375), this);
    m_pause = Button("Pause", QStringLiteral("Pause"), TwipsRect(4440, 600, 975, 375), this);
    m_halt = Button("Halt", QStringLiteral("Stop"), TwipsRect(5640, 600, 975, 375), this);
    m_pause->setEnabled(false);
    m_halt->setEnabled(false);
    m_marker = Button("Marker", QStringLiteral("Marker"), TwipsRect(1560, 600, 720, 375), this);
    m_marker->setToolTip(QStringLiteral("Mark the record just recorded (key F9)"));
    m_marker->setEnabled(false);
    m_view = Button("View", QStringLiteral("View"), TwipsRect(2400, 600, 780, 375), this);
    m_view->setToolTip(QStringLiteral("Open the log in the Log Viewer"));

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("Slider"));
    m_slider->setGeometry(TwipsRect(120, 1200, 5535, 495));
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->hide();
    m_counter = new QLabel(QStringLiteral("0"), this);
    m_counter->setObjectName(QStringLiteral("pbcounter"));
    m_counter->setGeometry(TwipsRect(5760, 1200, 975, 255));
    m_counter->setAlignment(Qt::AlignCenter);

    const int stripTop = Twips(kClientHeight) + 4;
    auto* speedLabel = new QLabel(QStringLiteral("Playback:"), this);
    speedLabel->setGeometry(8, stripTop, 52, 22);
    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("Speed"));
    m_speed->setGeometry(60, stripTop, 110, 22);
    for (int rate : kRates)
        m_speed->addItem(rate == 0 ? QStringLiteral("Max") : QStringLiteral("%1 records/s").arg(rate),
                         rate);
    m_speed->addItem(QStringLiteral("Real time"), LoggingView::kRealTime);
    m_speed->setToolTip(QStringLiteral("Max plays as fast as the displays allow; Real time keeps "
                                       "the spacing the records were recorded with"));
    m_export = Button("ExportCsv", QStringLiteral("Export CSV"), QRect(180, stripTop, 90, 22), this);
    m_export->setToolTip(QStringLiteral("Write the log as CSV, by default next to it"));
    m_progress = new QProgressBar(this);
    m_progress->setGeometry(280, stripTop + 2, Twips(kClientWidth) - 288, 18);
    m_progress->hide();

    setTabOrder(m_record, m_halt);
    setTabOrder(m_halt, m_slider);
    setTabOrder(m_slider, m_play);
    setTabOrder(m_play, m_logFile);
    setTabOrder(m_logFile, m_pause);
    setTabOrder(m_pause, m_browse);
    setTabOrder(m_browse, m_speed);
    setTabOrder(m_speed, m_export);
    setTabOrder(m_export, m_marker);
    setTabOrder(m_marker, m_view);

    connect(m_record, &QPushButton::clicked, this, &Logging::Record_Click);
    connect(m_play, &QPushButton::clicked, this, &Logging::Play_Click);
    connect(m_pause, &QPushButton::clicked, this, &Logging::Pause_Click);
    connect(m_halt, &QPushButton::clicked, this, &Logging::Halt_Click);
    connect(m_marker, &QPushButton::clicked, this, &Logging::Marker_Click);
    connect(m_view, &QPushButton::clicked, this, &Logging::View_Click);
    connect(m_browse, &QPushButton::clicked, this, &Logging::Browse_Click);
    connect(m_export, &QPushButton::clicked, this, &Logging::ExportCsv_Click);
    connect(m_slider, &QSlider::valueChanged, this, [this] {
        if (!m_programMove) Slider_Moved();
    });
    m_exportJob = new ExportJob(this);
    m_exportProgress.setInterval(100);
    connect(&m_exportProgress, &QTimer::timeout, this, [this] {
        m_progress->setValue(
            static_cast<int>(std::min<std::int64_t>(m_exportJob->RecordsDone(), INT32_MAX)));
    });
    m_log.SetView(this);
    OfferDefaultName();
}

void Logging::OfferDefaultName() {
    // A new file in the datalog directory, named by the date and time.
    m_defaultName = QDir::toNativeSeparators(
        m_log.recorder().DatedFileName(QDateTime::currentDateTime()));
    m_logFile->setText(m_defaultName);
}

void Logging::SetDirectory(const QString& directory) {
    (void)directory;  // the recorder holds it already
    if (!m_logFile->isReadOnly() && m_logFile->text() == m_defaultName) OfferDefaultName();
}

Logging::~Logging() {
    AbandonExport();
    m_log.SetView(nullptr);
}

void Logging::Record_Click() {
    // The panel reads "Recording" once the recording has begun, which may
    // wait for the answer to the overwrite question.
    LockFileName(true);
    m_record->setEnabled(false);
    m_play->setEnabled(false);
    m_halt->setEnabled(true);
    m_pause->setEnabled(false);
    m_marker->setEnabled(true);
    m_slider->hide();
    m_counter->show();
    m_counterValue = 0;
    m_counter->setText(QStringLiteral("0"));
    m_log.recorder().Start();
}

void Logging::Play_Click() { StartPlayback(1, INT64_MAX); }

void Logging::PlayRange(const QString& file, std::int64_t first, std::int64_t last) {
    show();
    raise();
    if (!m_log.RecordingFile().isEmpty() || m_log.Playing() || m_halt->isEnabled()) {
        ShowProblem(QStringLiteral("Stop the recording or the playback under way first, then "
                                   "play the range."));
        return;
    }
    m_logFile->setText(file);
    StartPlayback(first, last);
}

void Logging::View_Click() {
    emit viewRequested(LogFileName());
}

void Logging::Marker_Click() {
    m_log.recorder().AddUserMarker();
}

void Logging::StartPlayback(std::int64_t first, std::int64_t last) {
    const bool resuming = m_log.player().Paused() && m_log.Playing();
    // A fresh playback says so once its log has opened: one that cannot
    // play leaves live monitoring and the status bar as they were.
    if (resuming) ShowPlaybackStatus();
    m_record->setEnabled(false);
    m_play->setEnabled(false);
    m_halt->setEnabled(true);
    m_pause->setEnabled(true);
    m_slider->setEnabled(false);
    m_slider->show();
    m_counter->show();
    // A fresh playback starts the traces again; a resumed one goes on with
    // them.
    if (!resuming) m_host.ReapplyScopeSelections();
    m_log.player().Play(first, last);
    m_slider->setEnabled(false);
}

void Logging::ShowPlaybackStatus() {
    m_status.SetPanelText(LinkStatus::kActivityPanel, QStringLiteral("Log Playback"));
    m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("COM Stopped"));
    m_status.SetPanelText(3, QString());
}

void Logging::Pause_Click() {
    m_log.player().Pause();
    m_pause->setEnabled(false);
    m_play->setEnabled(true);
    m_halt->setEnabled(true);
    m_slider->setEnabled(true);
    m_counter->show();
}

void Logging::Halt_Click() {
    m_record->setEnabled(true);
    m_play->setEnabled(true);
    m_pause->setEnabled(false);
    m_halt->setEnabled(false);
    m_marker->setEnabled(false);
    const bool recorded = !m_log.RecordingFile().isEmpty();
    LockFileName(false);
    m_log.StopLogging();
    m_slider->hide();
    m_counter->hide();
    // The default name is taken now: the next run gets a name of its own.
    if (recorded && m_logFile->text() == m_defaultName) OfferDefaultName();
}

void Logging::Slider_Moved() {
    m_sliderPosition = m_slider->value();
    m_counterValue = m_sliderPosition;
    m_counter->setText(QString::number(m_counterValue));
    m_log.player().Seek();
}

void Logging::LockFileName(bool locked) {
    // A recording takes the name once; the box and Browse stay locked until
    // Stop, so what they show is the file being written.
    m_logFile->setReadOnly(locked);
    m_browse->setEnabled(!locked);
}

void Logging::Browse_Click() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Log File"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // Record asks its own question before it overwrites anything.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setDefaultSuffix(QStringLiteral("qz0"));
    dialog->setNameFilters({QStringLiteral("Quarn logs (*.qz0)"), QStringLiteral("All files (*)")});
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        // A recording begun while the dialog was open keeps its name.
        if (!m_logFile->isReadOnly() && !file.isEmpty()) m_logFile->setText(file);
    });
    dialog->open();
}

void Logging::ExportCsv_Click() {
    const QString name = LogFileName();
    const QFileInfo info(name);
    if (!info.isFile()) {
        ShowProblem(QStringLiteral("The log file \"%1\" does not exist.").arg(name));
        return;
    }
    if (exporting() || m_exportDialog) return;
    QString suggested = info.dir().filePath(info.completeBaseName() + QStringLiteral(".csv"));
    // A log that is itself called *.csv must not be offered as its own export.
    if (SameFile(QFile::encodeName(suggested).toStdString(), QFile::encodeName(name).toStdString()))
        suggested = info.dir().filePath(info.completeBaseName() + QStringLiteral("-export.csv"));
    auto* dialog = new QFileDialog(this, QStringLiteral("Export CSV"));
    dialog->setObjectName(QStringLiteral("ExportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // The question comes from ExportTo, without a nested event loop.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->setNameFilters(ExportNameFilters());
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString& filter) {
        dialog->setDefaultSuffix(ExportSuffixForFilter(filter));
    });
    dialog->setDirectory(info.dir());
    dialog->selectFile(suggested);
    connect(dialog, &QFileDialog::fileSelected, this, [this, name, dialog](const QString& csv) {
        m_exportOptions = ExportOptionsForFilter(dialog->selectedNameFilter(), csv);
        QMetaObject::invokeMethod(this, [this, name, csv] { ExportTo(name, csv); },
                                  Qt::QueuedConnection);
    });
    m_exportDialog = dialog;
    dialog->open();
}

void Logging::ExportTo(const QString& log, const QString& csv) {
    if (exporting() || csv.isEmpty()) return;
    const std::string logPath = QFile::encodeName(log).toStdString();
    if (SameFile(logPath, QFile::encodeName(csv).toStdString())) {
        ShowProblem(ExportOntoItsLog(csv));
        return;
    }
    if (!QFileInfo::exists(csv)) {
        RunExport(log, csv);
        return;
    }
    if (askOverwrite) {
        if (askOverwrite(csv)) RunExport(log, csv);
        return;
    }
    OpenChoice(this, QMessageBox::Critical, QStringLiteral("Export CSV"),
               QStringLiteral("\"%1\" exists. Replace it?").arg(csv),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
               [this, log, csv](QMessageBox::StandardButton button) {
                   if (button == QMessageBox::Yes) RunExport(log, csv);
               });
}

bool Logging::exporting() const { return m_exportJob->Running(); }

void Logging::AbandonExport() {
    if (!m_exportJob->Running()) return;
    m_exportJob->Abandon();
    m_exportProgress.stop();
    m_progress->hide();
    m_export->setEnabled(true);
}

void Logging::RunExport(const QString& log, const QString& csv) {
    if (m_exportJob->Running()) return;
    // The conversion runs from the first record on in order, with the car in
    // use as the export begins.
    ExportOptions options = m_exportOptions;
    options.estimatedFrameRate = m_log.player().PlaybackFrameRate();
    if (!m_exportJob->Start(QFile::encodeName(log).toStdString(),
                            QFile::encodeName(csv).toStdString(), m_log.Vehicle(), 1,
                            INT64_MAX, options))
        return;
    m_export->setEnabled(false);
    m_progress->setRange(0, static_cast<int>(std::min<std::int64_t>(
                                QFileInfo(log).size() / kRecordBytes, INT32_MAX)));
    m_progress->setValue(0);
    m_progress->show();
    m_exportProgress.start();
    disconnect(m_exportJob, &ExportJob::finished, this, nullptr);
    connect(m_exportJob, &ExportJob::finished, this,
            [this, csv](const ExportResult& result, std::int64_t damaged) {
                ExportFinished(csv, result, damaged);
            });
}

void Logging::ExportFinished(const QString& csv, const ExportResult& result,
                             std::int64_t damaged) {
    m_exportProgress.stop();
    m_progress->hide();
    m_export->setEnabled(true);
    switch (result.outcome) {
        case ExportOutcome::Written:
            if (damaged > 0 || result.scan.trailingBytes > 0)
                ShowProblem(QStringLiteral("Exported to \"%1\"; %2 damaged records were left out.")
                                .arg(csv)
                                .arg(damaged));
            break;
        case ExportOutcome::SameAsInput:
            ShowProblem(ExportOntoItsLog(csv));
            break;
        case ExportOutcome::Failed:
            ShowProblem(QStringLiteral("Exporting to \"%1\" failed; nothing was changed.\n%2")
                            .arg(csv, QString::fromStdString(result.error)));
            break;
        case ExportOutcome::Cancelled:
            break;
    }
}

QString Logging::LogFileName() const { return m_logFile->text(); }

// A playback moves the counter and the slider for every record, thousands of
// times a second; the widgets follow at the display's pace instead of
// repainting each time.
void Logging::SetCounter(std::int64_t value) {
    m_counterValue = value;
    ScheduleDisplay();
}

void Logging::ScheduleDisplay() {
    SharedRefreshTick().Schedule(this, [this] {
        m_counter->setText(QString::number(m_counterValue));
        m_programMove = true;
        m_slider->setValue(static_cast<int>(m_sliderPosition));
        m_programMove = false;
    });
}

void Logging::SetupSlider(std::int64_t minimum, std::int64_t maximum, std::int64_t tick) {
    m_programMove = true;
    m_slider->setRange(static_cast<int>(minimum), static_cast<int>(std::min<std::int64_t>(maximum, INT32_MAX)));
    m_slider->setTickInterval(static_cast<int>(tick));
    m_slider->setPageStep(static_cast<int>(tick));
    m_programMove = false;
}

void Logging::SetSliderPosition(std::int64_t position) {
    m_sliderPosition = position;
    ScheduleDisplay();
}

std::int64_t Logging::SliderPosition() const { return m_sliderPosition; }

void Logging::HideSlider() { m_slider->hide(); }

int Logging::PlaybackRate() const { return m_speed->currentData().toInt(); }

void Logging::ShowOverwriteDeclined() {
    m_marker->setEnabled(false);
    m_record->setEnabled(true);
    m_play->setEnabled(true);
    m_pause->setEnabled(false);
    m_halt->setEnabled(false);
    LockFileName(false);
    m_slider->hide();
}

void Logging::AskOverwrite(const QString& file, std::function<void(bool)> answer) {
    if (askOverwrite) {
        answer(askOverwrite(file));
        return;
    }
    OpenChoice(this, QMessageBox::Critical, QStringLiteral("Warning"),
               QStringLiteral("File exists.  Overwrite?"), QMessageBox::Yes | QMessageBox::No,
               QMessageBox::No, [answer = std::move(answer)](QMessageBox::StandardButton button) {
                   answer(button == QMessageBox::Yes);
               });
}

void Logging::ShowProblem(const QString& text) {
    if (showProblem) {
        showProblem(text);
        return;
    }
    OpenMessage(this, QMessageBox::Warning, QStringLiteral("Logging Control"), text);
}

void Logging::closeEvent(QCloseEvent* event) {
    if (m_exportDialog) m_exportDialog->reject();
    m_exportJob->Cancel();  // an export under way gives up; the old file stays
    if (m_log.RecordingFile().isEmpty()) {
        // A playback, or a Record still waiting for its overwrite answer,
        // ends with the window.
        if (m_log.Playing() || m_halt->isEnabled()) Halt_Click();
        event->accept();
        return;
    }
    // A recording may go on without the window: ask, and close (hide) once
    // answered.
    event->ignore();
    if (m_stopQuestion) {
        m_stopQuestion->raise();
        return;
    }
    m_stopQuestion = OpenChoice(
        this, QMessageBox::Question, QStringLiteral("Logging Control"),
        QStringLiteral("Recording into \"%1\" is running. Stop the recording?\n\n"
                       "No keeps it running with the window closed; reopen the window to stop "
                       "it later.")
            .arg(m_log.RecordingFile()),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel,
        [this](QMessageBox::StandardButton button) {
            if (button == QMessageBox::Cancel || button == QMessageBox::NoButton) return;
            if (button == QMessageBox::Yes) Halt_Click();
            hide();
        });
}

}  // namespace quarn
