#include "settings/SessionProperties.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHideEvent>
#include <QIntValidator>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include "decode/VehicleData.h"
#include "settings/LastVehicle.h"
#include "settings/UserChoices.h"
#include "settings/VehicleFile.h"
#include "settings/VehicleLimitKeys.h"
#include "widgets/OpenDialogs.h"
#include "widgets/ScreenRoom.h"
#include "widgets/Twips.h"

namespace quarn {
namespace {

constexpr int kClientWidth = 6240;
// Taller than first drawn by two rows, for the dyno's CdA and Crr.
constexpr int kDynoRows = 720;
constexpr int kClientHeight = 6150 + kDynoRows;

// What each vehicle number box accepts, as the hints tell it.
struct BoxRule {
    const char* name;
    const char* what;
    const char* unit;
    double maxValue;
    bool integral;
};

constexpr std::array<BoxRule, SessionProperties::kBoxes> kRules{{
    {"weight", "Curb weight", "lb", VehicleData::kMaxWeight, false},
    {"injsize", "Injector flow rate", "lb/hr", VehicleData::kMaxInjSize, false},
    {"numcyl", "Number of cylinders", "", VehicleData::kMaxNumCyl, true},
    {"cda", "Drag area CdA", "m\u00b2", VehicleData::kMaxCdA, false},
    {"crr", "Rolling resistance Crr", "", VehicleData::kMaxCrr, false},
}};

constexpr const char* kRefusedStyle =
    "QLineEdit { border: 1px solid #d00000; background: #ffe0e0; }";

QString RuleText(const BoxRule& rule) {
    return QStringLiteral("%1%2: %3 above 0 and at most %4.")
        .arg(QLatin1String(rule.what),
             *rule.unit ? QStringLiteral(" (%1)").arg(QString::fromUtf8(rule.unit)) : QString(),
             rule.integral ? QStringLiteral("a whole number") : QStringLiteral("a number"),
             VehicleNumberText(rule.maxValue));
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, QRect rect) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect);
    return label;
}

QLineEdit* AddTextBox(QWidget* parent, const char* name, const QString& text, QRect rect) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(rect);
    return box;
}

}  // namespace

SessionProperties::SessionProperties(VehicleData& vehicle, QWidget* parent, QSize room)
    : QWidget(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_vehicle(vehicle),
      m_datalog(RememberedDataloggingChoices()) {
    setObjectName(QStringLiteral("SessionProperties"));
    setWindowTitle(QStringLiteral("Session Properties"));
    // The layout was made for an 8 pt sans serif; the wider default font
    // would cut the labels off.
    QFont dialogFont(QStringLiteral("Liberation Sans"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    // The tab strip only draws the tabs and their pane and tells which tab
    // is picked; the two panels laid over it hold the controls and are
    // switched by TabChanged.
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("SessionPage"));
    page->setFixedSize(Twips(kClientWidth), Twips(kClientHeight));
    m_tabStrip = new QTabWidget(page);
    m_tabStrip->setObjectName(QStringLiteral("TabStrip1"));
    m_tabStrip->setGeometry(TwipsRect(240, 120, 5775, 5895 + kDynoRows));
    m_tabStrip->addTab(new QWidget, QStringLiteral("Vehicle Properties"));
    m_tabStrip->addTab(new QWidget, QStringLiteral("Datalogging"));

    m_vehiclePanel = new QWidget(page);
    m_vehiclePanel->setObjectName(QStringLiteral("Frame1"));
    m_vehiclePanel->setGeometry(TwipsRect(360, 720, 5535, 5175 + kDynoRows));
    m_dataloggingPanel = new QWidget(page);
    m_dataloggingPanel->setObjectName(QStringLiteral("Frame2"));
    m_dataloggingPanel->setGeometry(TwipsRect(360, 480, 5535, 5415));
    BuildVehicleTab();
    BuildDataloggingTab();
    m_dataloggingPanel->hide();
    SetPage(*this, page, room);

    connect(m_tabStrip, &QTabWidget::currentChanged, this, &SessionProperties::TabChanged);
}

void SessionProperties::BuildVehicleTab() {
    QWidget* f = m_vehiclePanel;
    AddLabel(f, "Label3", QStringLiteral("File Name"), TwipsRect(120, 240, 1335, 255));
    m_fileNameBox = AddTextBox(f, "Text5", QString(), TwipsRect(1680, 240, 3375, 285));
    m_fileNameBox->setToolTip(
        QStringLiteral("The vehicle file (.vf) that Load reads and Save writes; a name without a "
                       "folder is in the working directory, ~/ is your home folder"));
    AddLabel(f, "Label10", QStringLiteral("Vehicle Name/ID"), TwipsRect(120, 600, 1455, 255));
    m_nameBox = AddTextBox(f, "Text1", QString(), TwipsRect(1680, 600, 3375, 285));
    AddLabel(f, "Label2", QStringLiteral("Description"), TwipsRect(120, 960, 1095, 255));
    m_descriptionBox = new QPlainTextEdit(f);
    m_descriptionBox->setObjectName(QStringLiteral("Text2"));
    m_descriptionBox->setGeometry(TwipsRect(1680, 960, 3375, 1485));
    m_descriptionBox->setTabChangesFocus(true);

    AddLabel(f, "Label4", QStringLiteral("Injector Flow Rate"), TwipsRect(240, 2640, 1335, 255));
    // The number boxes are wider than first drawn (750 twips, not 495): in
    // this font and frame "3400" only just fitted and "100001" was cut off.
    // The unit texts and the hints beside them move right by as much.
    AddLabel(f, "Label6", QStringLiteral("Lb/Hr"), TwipsRect(2535, 2640, 615, 255));
    // Wider and taller than first drawn: in this font the texts were cut off.
    AddLabel(f, "Label5", QStringLiteral("# of Cylinders"), TwipsRect(240, 3000, 1335, 255));
    AddLabel(f, "label9", QStringLiteral("Curb Weight"), TwipsRect(240, 3360, 1335, 255));
    AddLabel(f, "Label7", QStringLiteral("lbs"), TwipsRect(2535, 3360, 495, 255));

    // The dyno's road load, below the weight.
    AddLabel(f, "lblCdA", QStringLiteral("Drag Area CdA"), TwipsRect(240, 3720, 1335, 255));
    AddLabel(f, "lblCdAUnit", QStringLiteral("m\u00b2"), TwipsRect(2535, 3720, 495, 255));
    AddLabel(f, "lblCrr", QStringLiteral("Rolling Res. Crr"), TwipsRect(240, 4080, 1335, 255));

    // weight, injsize, numcyl, cda, crr
    const std::array<int, kBoxes> tops{3360, 2640, 3000, 3720, 4080};
    const std::array<double, kBoxes> inForce{m_vehicle.weight(), m_vehicle.injsize(),
                                             m_vehicle.numcyl(), m_vehicle.cda(),
                                             m_vehicle.crr()};
    for (std::size_t i = 0; i < kRules.size(); ++i) {
        QLineEdit* box = AddTextBox(f, kRules[i].name, VehicleNumberText(inForce[i]),
                                    TwipsRect(1680, tops[i], 750, 285));
        box->setToolTip(RuleText(kRules[i]));
        // Set on the box itself: the style sheet of a refused box would
        // otherwise put it in the application's default font, and leave it
        // there once the sheet is cleared.
        box->setFont(font());
        m_boxes[i] = box;
        // Beside the unit texts: says a text was refused and which value the
        // conversion goes on using.
        QLabel* hint = AddLabel(f, "", QString(), TwipsRect(3195, tops[i], 2340, 285));
        hint->setObjectName(QStringLiteral("%1Hint").arg(QLatin1String(kRules[i].name)));
        hint->setStyleSheet(QStringLiteral("color: #d00000;"));
        hint->hide();
        m_hints[i] = hint;
        // A number counts once its edit is finished: applied at every key,
        // "3500" would pass through 3, 35 and 350 lb on its way.
        auto* pause = new QTimer(this);
        pause->setSingleShot(true);
        pause->setInterval(kApplyPauseMs);
        m_pauses[i] = pause;
        connect(pause, &QTimer::timeout, this, [this, i] { ApplyBox(static_cast<Box>(i)); });
        connect(box, &QLineEdit::textEdited, pause, qOverload<>(&QTimer::start));
        connect(box, &QLineEdit::editingFinished, this, [this, i] {
            m_pauses[i]->stop();
            ApplyBox(static_cast<Box>(i));
        });
    }

    // The vehicle file: pick a name, then load or save the fields above.
    auto* browse = new QPushButton(QStringLiteral("Browse..."), f);
    browse->setObjectName(QStringLiteral("cmdBrowse"));
    browse->setGeometry(TwipsRect(1680, 3840 + kDynoRows, 1045, 375));
    connect(browse, &QPushButton::clicked, this, &SessionProperties::BrowseVehicle_Click);
    auto* load = new QPushButton(QStringLiteral("Load"), f);
    load->setObjectName(QStringLiteral("cmdLoad"));
    load->setGeometry(TwipsRect(2845, 3840 + kDynoRows, 1045, 375));
    load->setToolTip(QStringLiteral("Fill the vehicle fields from the file named above"));
    connect(load, &QPushButton::clicked, this, &SessionProperties::LoadVehicle_Click);
    auto* save = new QPushButton(QStringLiteral("Save"), f);
    save->setObjectName(QStringLiteral("cmdSave"));
    save->setGeometry(TwipsRect(4010, 3840 + kDynoRows, 1045, 375));
    save->setToolTip(QStringLiteral("Write the vehicle fields into the file named above"));
    connect(save, &QPushButton::clicked, this, &SessionProperties::SaveVehicle_Click);
    AddLabel(f, "lblVehicleFile", QStringLiteral("Vehicle File"),
             TwipsRect(240, 3900 + kDynoRows, 1335, 255));
    m_fileStatus =
        AddLabel(f, "lblFileStatus", QString(), TwipsRect(1680, 4320 + kDynoRows, 3375, 495));
    m_fileStatus->setWordWrap(true);
    m_fileStatus->setStyleSheet(QStringLiteral("color: #555;"));

    // The file whose car the dashboard put in use at the start, if any; with
    // the default car no file is named.
    if (const std::optional<LoadedVehicle> loaded = ReadRememberedVehicle();
        loaded && SameNumbers(m_vehicle, loaded->car)) {
        m_carFile = loaded->path;
        m_carFileCar = loaded->car;
        m_fileNameBox->setText(loaded->path);
        m_nameBox->setText(loaded->car.name);
        m_descriptionBox->setPlainText(loaded->car.description);
        m_fileStatus->setText(QStringLiteral("Loaded %1").arg(loaded->path));
    }
}

void SessionProperties::BuildDataloggingTab() {
    QWidget* f = m_dataloggingPanel;
    AddLabel(f, "Label11", QStringLiteral("Start logging when:"), TwipsRect(120, 240, 3735, 255));
    // At most one is picked; a click on the picked one clears it, and
    // recording is then started by Record alone.
    const std::array<std::pair<const char*, const char*>, 3> options{{
        {"Option1", "Trigger Active"},
        {"Option2", "TPS > 4.0V"},
        {"Option3", "Keyboard Triggered"},
    }};
    // The last is wider than first drawn: in this font its caption was cut off.
    const std::array<QRect, 3> rects{TwipsRect(120, 600, 1455, 255),
                                     TwipsRect(1680, 600, 1215, 255),
                                     TwipsRect(3120, 600, 2295, 255)};
    const std::array<DataloggingChoices::Start, 3> starts{DataloggingChoices::Start::TriggerInput,
                                                          DataloggingChoices::Start::TpsOver4V,
                                                          DataloggingChoices::Start::Keyboard};
    for (std::size_t i = 0; i < options.size(); ++i) {
        auto* option = new QRadioButton(QString::fromLatin1(options[i].second), f);
        option->setObjectName(QString::fromLatin1(options[i].first));
        option->setGeometry(rects[i]);
        option->setAutoExclusive(false);
        option->setChecked(m_datalog.start == starts[i]);
        m_startOptions[i] = option;
        connect(option, &QRadioButton::clicked, this, [this, i, starts](bool on) {
            for (std::size_t j = 0; j < m_startOptions.size(); ++j)
                if (j != i) m_startOptions[j]->setChecked(false);
            m_datalog.start = on ? starts[i] : DataloggingChoices::Start::Manual;
            DataloggingChanged();
        });
    }
    m_startOptions[0]->setEnabled(false);
    m_startOptions[0]->setToolTip(
        QStringLiteral("The frames from the box carry no trigger input, so nothing could start "
                       "a recording this way."));
    m_startOptions[1]->setToolTip(
        QStringLiteral("Record each time the throttle passes 4.0 V, with the 5 s before it, until "
                       "5 s after it falls back; each run into its own file, named by date and "
                       "time, in the datalog directory"));
    m_startOptions[2]->setToolTip(
        QStringLiteral("F8 starts a recording into a new file in the datalog directory, and "
                       "stops it"));
    AddLabel(f, "Label12", QStringLiteral("Reconnect to Quarn on disconnection"),
             TwipsRect(120, 1080, 3615, 375))
        ->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* reconnectBox = new QCheckBox(QStringLiteral("Yes"), f);
    reconnectBox->setObjectName(QStringLiteral("Check1"));
    reconnectBox->setGeometry(TwipsRect(3120, 1080, 1335, 255));
    reconnectBox->setChecked(m_datalog.reconnect);
    reconnectBox->setToolTip(QStringLiteral("Cleared, a lost link stops monitoring instead of being "
                                      "retried until it comes back"));
    connect(reconnectBox, &QCheckBox::toggled, this, [this](bool on) {
        m_datalog.reconnect = on;
        DataloggingChanged();
    });
    AddLabel(f, "Label13", QStringLiteral("Datalog directory:"), TwipsRect(120, 1800, 3495, 255));
    QLineEdit* directory = AddTextBox(f, "Text4", QDir::toNativeSeparators(m_datalog.directory),
                                      TwipsRect(120, 2040, 2895, 285));
    directory->setToolTip(QStringLiteral("Where recordings go, each named by the date and time "
                                         "it began; made when first needed"));
    connect(directory, &QLineEdit::editingFinished, this, [this, directory] {
        QString text = directory->text().trimmed();
        if (text == QLatin1String("~")) text = QDir::homePath();
        if (text.startsWith(QLatin1String("~/"))) text = QDir::home().filePath(text.mid(2));
        if (text.isEmpty()) text = DefaultDatalogDirectory();
        if (QDir::fromNativeSeparators(text) == m_datalog.directory) return;
        m_datalog.directory = QDir::fromNativeSeparators(text);
        directory->setText(QDir::toNativeSeparators(m_datalog.directory));
        DataloggingChanged();
    });
    AddLabel(f, "Label14", QStringLiteral("Maximum Logging rate in Samples/Second"),
             TwipsRect(120, 2760, 3255, 255));
    QLineEdit* rate = AddTextBox(f, "Text3", QString::number(m_datalog.maxRate),
                                 TwipsRect(3600, 2760, 495, 285));
    rate->setValidator(new QIntValidator(0, 10000, rate));
    rate->setToolTip(QStringLiteral("Records written per second at most; 0 writes every frame "
                                    "the link brings"));
    connect(rate, &QLineEdit::editingFinished, this, [this, rate] {
        const int value = rate->text().toInt();
        if (value == m_datalog.maxRate) return;
        m_datalog.maxRate = value;
        DataloggingChanged();
    });
}

void SessionProperties::DataloggingChanged() {
    RememberDataloggingChoices(m_datalog);
    if (dataloggingChanged) dataloggingChanged(m_datalog);
}

void SessionProperties::TabChanged() {
    m_vehiclePanel->hide();
    m_dataloggingPanel->hide();
    const int index = m_tabStrip->currentIndex() + 1;
    if (index == 1) m_vehiclePanel->show();
    if (index == 2) m_dataloggingPanel->show();
}

void SessionProperties::ApplyBox(Box b) {
    const auto i = static_cast<std::size_t>(b);
    QLineEdit* box = m_boxes[i];
    const std::string text = box->text().toStdString();
    bool accepted = false;
    double inForce = 0;
    switch (b) {
        case Box::weight:
            accepted = m_vehicle.SetWeight(text);
            inForce = m_vehicle.weight();
            break;
        case Box::injsize:
            accepted = m_vehicle.SetInjSize(text);
            inForce = m_vehicle.injsize();
            break;
        case Box::numcyl:
            accepted = m_vehicle.SetNumCyl(text);
            inForce = m_vehicle.numcyl();
            break;
        case Box::cda:
            accepted = m_vehicle.SetCdA(text);
            inForce = m_vehicle.cda();
            break;
        case Box::crr:
            accepted = m_vehicle.SetCrr(text);
            inForce = m_vehicle.crr();
            break;
    }
    m_refused[i] = !accepted;
    if (accepted) {
        box->setStyleSheet(QString());
        box->setToolTip(RuleText(kRules[i]));
        m_hints[i]->hide();
        RememberCarInUse();
        return;
    }
    const QString kept = VehicleNumberText(inForce);
    box->setStyleSheet(QLatin1String(kRefusedStyle));
    box->setToolTip(QStringLiteral("Refused. %1 %2 stays in use.").arg(RuleText(kRules[i]), kept));
    m_hints[i]->setText(QStringLiteral("Refused: %1 stays in use").arg(kept));
    m_hints[i]->setToolTip(box->toolTip());
    m_hints[i]->show();
}

QString SessionProperties::FilePath() const {
    const QString text = m_fileNameBox->text().trimmed();
    if (text == QLatin1String("~")) return QDir::homePath();
    if (text.startsWith(QLatin1String("~/"))) return QDir::home().filePath(text.mid(2));
    return text;
}

void SessionProperties::Warn(const QString& text) {
    OpenMessage(this, QMessageBox::Warning, windowTitle(), text);
}

void SessionProperties::ApplyPendingEdits() {
    for (std::size_t i = 0; i < m_pauses.size(); ++i) {
        if (!m_pauses[i]->isActive()) continue;
        m_pauses[i]->stop();
        ApplyBox(static_cast<Box>(i));
    }
}

SessionProperties::~SessionProperties() {
    // The boxes outlive this part of the window: as the widget base takes them
    // down they lose the focus, and a finished edit must not reach a window that
    // is already gone.
    for (QLineEdit* box : m_boxes)
        if (box) box->disconnect(this);
}

void SessionProperties::hideEvent(QHideEvent* event) {
    // Closing the window finishes the edit in progress.
    ApplyPendingEdits();
    QWidget::hideEvent(event);
}

void SessionProperties::RememberCarInUse() {
    if (m_carFile.isEmpty()) return;
    RememberVehicleFile(SameNumbers(m_vehicle, m_carFileCar) ? m_carFile : QString());
}

void SessionProperties::BrowseVehicle_Click() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Vehicle File"), FilePath(),
                                   QStringLiteral("Vehicle files (*.vf);;All files (*)"));
    dialog->setObjectName(QStringLiteral("BrowseDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Picks a name for Load or Save: nothing is replaced yet.
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& picked) {
        if (!picked.isEmpty()) m_fileNameBox->setText(picked);
    });
    dialog->open();
}

bool SessionProperties::LoadVehicle_Click() {
    const QString path = FilePath();
    if (path.isEmpty()) {
        Warn(QStringLiteral("Type the name of a vehicle file into the File Name box first."));
        return false;
    }
    VehicleFile car;
    QString error;
    if (!ReadVehicleFile(path, car, error)) {
        Warn(QStringLiteral("The vehicle file %1 could not be loaded:\n%2\n\nNothing was changed.")
                 .arg(path, error));
        return false;
    }
    for (QTimer* pause : m_pauses) pause->stop();
    m_carFile = QFileInfo(path).absoluteFilePath();
    m_carFileCar = car;
    m_nameBox->setText(car.name);
    m_descriptionBox->setPlainText(car.description);
    // Each box passes its text on to the vehicle data; the file's numbers
    // passed the same checks, so none is refused.
    const std::array<double, kBoxes> numbers{car.weight, car.injsize, car.numcyl, car.cda,
                                             car.crr};
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        m_boxes[i]->setText(VehicleNumberText(numbers[i]));
        ApplyBox(static_cast<Box>(i));
    }
    m_fileStatus->setText(QStringLiteral("Loaded %1").arg(path));
    if (limitsLoaded) limitsLoaded(car.limits);
    if (!car.limitProblems.isEmpty())
        Warn(QStringLiteral("The car was loaded from %1, but these alarm limits were refused "
                            "and their dials keep the default limits:\n%2")
                 .arg(path, LimitProblemsText(car.limitProblems)));
    return true;
}

bool SessionProperties::RefusedBeforeSave() {
    ApplyPendingEdits();
    // A refused box would save a value the user does not see.
    for (std::size_t i = 0; i < m_boxes.size(); ++i) {
        if (!m_refused[i]) continue;
        Warn(QStringLiteral("%1 \"%2\" is refused; correct it before saving.\n\n%3")
                 .arg(QLatin1String(kRules[i].what), m_boxes[i]->text(), RuleText(kRules[i])));
        return true;
    }
    return false;
}

bool SessionProperties::SaveVehicle_Click() {
    if (RefusedBeforeSave()) return false;
    QString suggested = FilePath();
    if (suggested.isEmpty()) {
        const QString name = m_nameBox->text().trimmed();
        suggested = (name.isEmpty() ? QStringLiteral("vehicle") : name) + QStringLiteral(".vf");
    }
    OpenSaveDialog(this, QStringLiteral("Save Vehicle File"), QFileInfo(suggested).absoluteFilePath(),
                   QStringLiteral("Vehicle files (*.vf);;All files (*)"),
                   [this](const QString& path) { SaveVehicleTo(path); });
    return true;
}

bool SessionProperties::SaveVehicleTo(const QString& path) {
    if (path.isEmpty() || RefusedBeforeSave()) return false;
    // Replace an earlier vehicle file, or an empty one, but never another
    // kind of file that happens to carry the name.
    const QFileInfo target(path);
    if (target.exists() && !(target.isFile() && target.size() == 0)) {
        VehicleFile existing;
        QString error;
        if (!ReadVehicleFile(path, existing, error)) {
            Warn(QStringLiteral("%1 exists and is not a vehicle file, so it was left as it is. "
                                "Choose another file name.")
                     .arg(path));
            return false;
        }
    }
    VehicleFile car;
    car.name = m_nameBox->text();
    car.description = m_descriptionBox->toPlainText();
    car.weight = m_vehicle.weight();
    car.injsize = m_vehicle.injsize();
    car.numcyl = m_vehicle.numcyl();
    car.cda = m_vehicle.cda();
    car.crr = m_vehicle.crr();
    if (limitsInUse) car.limits = limitsInUse();
    QString error;
    if (!WriteVehicleFile(path, car, error)) {
        Warn(QStringLiteral("The vehicle file %1 could not be saved:\n%2").arg(path, error));
        return false;
    }
    m_carFile = target.absoluteFilePath();
    m_carFileCar = car;
    RememberCarInUse();
    m_fileNameBox->setText(QDir::toNativeSeparators(path));
    m_fileStatus->setText(QStringLiteral("Saved %1").arg(path));
    return true;
}

}  // namespace quarn
