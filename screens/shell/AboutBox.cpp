#include "screens/shell/AboutBox.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

#include "core/db/QueryResult.h"
#include "screens/widgets/QtText.h"

namespace velmorant {

namespace about_text {
inline constexpr char kCaption[] = "О программе";
inline constexpr char kBlank[] = " ";
inline constexpr char kClose[] = "[ Закрыть ]";
inline constexpr char kName[] = "Velmorant  v 1.0";
inline constexpr char kDeveloped[] = "Разработано";
inline constexpr char kCompiler[] = "на бесплатном компиляторе:";
inline constexpr char kCredits[] = "GCC, Qt 6, SQLite, zlib, libcurl, libuuid";
inline constexpr char kAuthorTitle[] = "Автор:";
inline constexpr char kAuthor[] = "Velmorant team";
inline constexpr char kContact[] = "team@velmorant.example";
inline constexpr char kDatabase[] = "База данных:";
}  // namespace about_text

namespace {

// A vertical stripe filled with a gradient from `top` to `bottom`.
class GradientStripe : public QWidget {
public:
    GradientStripe(const QColor& top, const QColor& bottom, int width, QWidget* parent)
        : QWidget(parent), m_top(top), m_bottom(bottom) {
        setFixedWidth(width);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, m_top);
        gradient.setColorAt(1, m_bottom);
        painter.fillRect(rect(), gradient);
    }

private:
    QColor m_top;
    QColor m_bottom;
};

}  // namespace

AboutBox::AboutBox(QWidget* parent) : Dialog(parent) {
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(ToQString(about_text::kCaption));
    // Half transparent (128 of 255) where the window system can do it; opaque elsewhere.
    setWindowOpacity(128.0 / 255.0);

    QAction* blank = menuBar()->addCommand(ToQString(about_text::kBlank));
    blank->setEnabled(false);
    QAction* close = menuBar()->addCommand(ToQString(about_text::kClose));
    connect(close, &QAction::triggered, this, [this] { closeDialog(false); });
    setCancelCommand(close);

    const QColor silver(192, 192, 192);
    const QColor face = palette().color(QPalette::Button);
    auto* row = new QHBoxLayout(body());
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(new GradientStripe(silver, face, 18, body()));
    auto* panel = new QWidget(body());
    panel->setObjectName(QStringLiteral("aboutPanel"));
    row->addWidget(panel, 1);
    row->addWidget(new GradientStripe(face, silver, 20, body()));

    struct Line {
        const char* text;
        int height;  // 0: the rest
        QColor colour;
    };
    const QColor darkBlue(0, 0, 160);
    const QColor navy(0, 0, 64);
    const QColor text = palette().color(QPalette::WindowText);
    const Line lines[] = {
        {about_text::kName, 20, darkBlue},    {about_text::kDeveloped, 20, darkBlue},
        {about_text::kCompiler, 40, text},    {about_text::kCredits, 20, text},
        {about_text::kAuthorTitle, 20, navy}, {about_text::kAuthor, 20, navy},
        {about_text::kContact, 0, darkBlue}};
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 4, 0, 4);
    column->setSpacing(0);
    for (const Line& line : lines) {
        auto* label = new QLabel(ToQString(line.text), panel);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        label->setWordWrap(true);
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, line.colour);
        label->setPalette(p);
        if (line.height > 0) {
            label->setMinimumHeight(line.height);
            column->addWidget(label);
        } else {
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            column->addWidget(label, 1);
        }
        m_lines.append(label);
    }

    // Where this copy keeps its orders: support staff and the agent ask this first.
    const QString path = QString::fromStdString(DatabasePath());
    m_databasePath = new QLabel(panel);
    m_databasePath->setObjectName(QStringLiteral("databasePath"));
    // A path has no blanks: a zero-width space after every "/" lets it wrap between folders.
    QString breakable = path;
    breakable.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
    m_databasePath->setText(ToQString(about_text::kDatabase) + QLatin1Char('\n') + breakable);
    m_databasePath->setToolTip(path);
    m_databasePath->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    m_databasePath->setWordWrap(true);
    QFont small = m_databasePath->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_databasePath->setFont(small);
    // An underscore lies at the very bottom of the font's descent: a line of its own below
    // the text keeps the last line's underscores from being cut off by the label's edge.
    m_databasePath->setContentsMargins(0, 0, 0, QFontMetrics(small).descent());
    column->addWidget(m_databasePath);
    resize(300, 250);
}

void RunAboutBox(QWidget* parent) {
    AboutBox box(parent);
    box.exec();
}

}  // namespace velmorant
