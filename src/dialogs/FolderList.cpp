#include "dialogs/FolderList.h"

#include "toolkit/Application.h"
#include "toolkit/Exceptions.h"

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
enum Role { KindRole = Qt::UserRole, IndentRole, TargetRole };

QString DisplayName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }

bool SortsBefore(const std::string& a, const std::string& b) {
    const int order = DisplayName(a).compare(DisplayName(b), Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

std::string CurrentDirectory() {
    std::error_code ec;
    const fs::path path = fs::current_path(ec);
    return ec ? std::string("/") : path.string();
}
}  // namespace

std::vector<FolderLine> BuildFolderLines(const std::string& current, std::vector<std::string> subfolders) {
    std::vector<FolderLine> lines;
    // The path part: "/" and then one line per level.
    std::vector<std::string> levels{"/"};
    std::vector<std::string> targets{"/"};
    size_t pos = 1;
    while (pos < current.size()) {
        size_t end = current.find('/', pos);
        if (end == std::string::npos) end = current.size();
        if (end > pos) {
            levels.push_back(current.substr(pos, end - pos));
            targets.push_back(current.substr(0, end));
        }
        pos = end + 1;
    }
    for (size_t i = 0; i < levels.size(); ++i) {
        const bool last = i + 1 == levels.size();
        lines.push_back({last ? FolderLineKind::Current : FolderLineKind::Path, levels[i],
                         PathLineIndent(int(i)), targets[i]});
    }

    std::sort(subfolders.begin(), subfolders.end(), SortsBefore);
    const int separators = int(std::count(current.begin(), current.end(), '/'));
    const std::string prefix = current.ends_with('/') ? current : current + '/';
    for (std::string& name : subfolders) {
        if (name == "." || name == "..") continue;
        lines.push_back({FolderLineKind::Subfolder, name, SubfolderIndent(separators), prefix + name});
    }
    return lines;
}

std::vector<std::string> ListSubfolders(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) names.push_back(it->path().filename().string());
    }
    return names;
}

// Paints a line: its glyph at the line's indent, centred in the line's
// height, and the name 4 pixels after it; a selected line highlights its
// name only.
class TFolderList::Delegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QPixmap glyphs[3];

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->save();
        const int kind = index.data(KindRole).toInt();
        const int indent = index.data(IndentRole).toInt();
        const QRect line = option.rect;
        painter->fillRect(line, option.palette.base());

        const QPixmap& glyph = glyphs[kind];
        if (!glyph.isNull())
            painter->drawPixmap(line.left() + indent, line.top() + (line.height() - glyph.height()) / 2, glyph);

        const QString text = index.data(Qt::DisplayRole).toString();
        const int textLeft = line.left() + indent + kGlyphWidth + kGlyphTextGap;
        QRect textRect(textLeft, line.top(), option.fontMetrics.horizontalAdvance(text) + 4, line.height());
        textRect.adjust(-2, 0, 0, 0);
        if (option.state & QStyle::State_Selected) {
            painter->fillRect(textRect, option.palette.highlight());
            painter->setPen(option.palette.highlightedText().color());
        } else {
            painter->setPen(option.palette.text().color());
        }
        painter->setFont(option.font);
        painter->drawText(textRect.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                          text);
        if ((option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Selected)) {
            QPen dotted(option.palette.highlightedText().color(), 1, Qt::DotLine);
            painter->setPen(dotted);
            painter->drawRect(textRect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int indent = index.data(IndentRole).toInt();
        const int width = indent + kGlyphWidth + kGlyphTextGap +
                          option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 4;
        return {width, kFolderLineHeight};
    }
};

TFolderList::TFolderList(QWidget* parent) : QListWidget(parent), directory_(CurrentDirectory()) {
    delegate_ = new Delegate(this);
    setItemDelegate(delegate_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    Refresh();
}

void TFolderList::SetGlyphs(QPixmap openFolder, QPixmap currentFolder, QPixmap closedFolder) {
    delegate_->glyphs[int(FolderLineKind::Path)] = std::move(openFolder);
    delegate_->glyphs[int(FolderLineKind::Current)] = std::move(currentFolder);
    delegate_->glyphs[int(FolderLineKind::Subfolder)] = std::move(closedFolder);
    viewport()->update();
}

void TFolderList::SetDirectory(const std::string& path) {
    std::error_code ec;
    fs::current_path(path, ec);
    if (ec) throw EInOutError(FormatMessage("Cannot open folder %s: ", path) + ec.message());
    directory_ = CurrentDirectory();
    Refresh();
    emit DirectoryChanged(DisplayName(directory_));
}

void TFolderList::OpenLine(int row) {
    const QListWidgetItem* line = item(row);
    if (line == nullptr || line->data(KindRole).toInt() == int(FolderLineKind::Current)) return;
    const std::string target = line->data(TargetRole).toByteArray().toStdString();
    try {
        SetDirectory(target);
    } catch (const Exception& error) {
        ReportHandlerException(error);
        setCurrentRow(currentRow_);
    }
}

void TFolderList::Refresh() {
    clear();
    for (const FolderLine& line : BuildFolderLines(directory_, ListSubfolders(directory_))) {
        auto* entry = new QListWidgetItem(DisplayName(line.text), this);
        entry->setData(KindRole, int(line.kind));
        entry->setData(IndentRole, line.indent);
        entry->setData(TargetRole, QByteArray::fromStdString(line.target));
        if (line.kind == FolderLineKind::Current) currentRow_ = count() - 1;
    }
    setCurrentRow(currentRow_);
    scrollToItem(item(currentRow_));
}

void TFolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OpenLine(currentRow());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TFolderList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex line = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && line.isValid()) {
        setCurrentRow(line.row());
        OpenLine(line.row());
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}
