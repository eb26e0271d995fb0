// The markup renderer: the text is first laid out into lines of pieces (runs of one font and colour,
// or inline pictures), then the pieces are drawn and the link rectangles collected.

#include <algorithm>

#include "toolkit/render/UIMarkupText.h"
#include "toolkit/render/UIRender.h"
#include "toolkit/render/UIRenderHost.h"
#include "toolkit/skin/UIResource.h"

namespace SkinUI {

namespace {

enum VAlign { kVBottom, kVCenter, kVTop };

struct Piece {
  std::wstring text;
  const FontInfo* font = nullptr;
  ImageRecord* image = nullptr;
  RECT source = {0, 0, 0, 0};
  DWORD color = 0;
  bool selected = false;
  int x = 0, cx = 0, cy = 0;
  VAlign valign = kVBottom;
  int link = -1;
  bool fromRight = false;  // drawn from the right end of its box (a word of a right-to-left line)
};

struct Line {
  std::vector<Piece> pieces;
  int top = 0, height = 0, right = 0, spacing = 0;
  int ink = 0;  // right edge of what is visible: trailing blanks do not count
};

bool IsLower(wchar_t c) { return c >= L'a' && c <= L'z'; }

// "<b>", "{c #FF0000FF}", "</a>": an opening character, an optional slash, a lower-case letter, then a
// blank or the closing character (or the end of the text: an unclosed tag runs to the end).
bool IsTagAt(const std::wstring& text, size_t i) {
  const wchar_t close = text[i] == L'<' ? L'>' : L'}';
  size_t pos = i + 1;
  if (pos < text.size() && text[pos] == L'/') ++pos;
  if (pos >= text.size() || !IsLower(text[pos])) return false;
  return pos + 1 >= text.size() || text[pos + 1] == L' ' || text[pos + 1] == close;
}

std::wstring Trim(const std::wstring& s) {
  size_t b = s.find_first_not_of(L' ');
  if (b == std::wstring::npos) return std::wstring();
  return s.substr(b, s.find_last_not_of(L' ') - b + 1);
}

class MarkupLayout {
 public:
  MarkupLayout(HDC dc, IRenderHost* host, const RECT& area, UINT style, DWORD color, int font, int linkCapacity,
               int hoverLink)
      : dc_(dc), host_(host), area_(area), style_(style), linkCapacity_(linkCapacity), hoverLink_(hoverLink) {
    fonts_.push_back(host->GetFontInfo(font));
    colors_.push_back(color);
    x_ = area.left;
    lines_.emplace_back();
  }

  void Run(const std::wstring& text);
  std::vector<Line>& Lines() { return lines_; }
  std::vector<std::wstring>& Targets() { return targets_; }

 private:
  size_t RunRaw(const std::wstring& text, size_t i);
  void Tag(const std::wstring& body);
  void OpenTag(wchar_t letter, const std::wstring& args);
  void CloseTag(wchar_t letter);
  void FontTag(const std::wstring& args);
  void ImageTag(const std::wstring& args);
  void AddWord(const std::wstring& word);
  void EndWithEllipsis(const std::wstring& visible);
  bool NextLineFits() const;
  void AddPiece(const std::wstring& text, int cx, int inkWidth);
  int Measure(const std::wstring& text) const;
  void NewLine();
  void FinishLine();
  const FontInfo* Font() const { return fonts_.back(); }
  void PushDerived(bool bold, bool underline, bool italic);
  void PopFont() {
    if (fonts_.size() > 1) fonts_.pop_back();
  }
  void PopColor() {
    if (colors_.size() > 1) colors_.pop_back();
  }

  HDC dc_;
  IRenderHost* host_;
  RECT area_;
  UINT style_;
  int linkCapacity_, hoverLink_;
  std::vector<const FontInfo*> fonts_;
  std::vector<DWORD> colors_;
  std::vector<Line> lines_;
  std::vector<std::wstring> targets_;
  int x_ = 0, link_ = -1, minLineHeight_ = 0, paragraphSpacing_ = 0;
  bool selected_ = false, raw_ = false, stopped_ = false;
  VAlign valign_ = kVBottom;
};

void MarkupLayout::Run(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && !stopped_) {
    const wchar_t ch = text[i];
    if (raw_) {
      i = RunRaw(text, i);
    } else if ((ch == L'<' || ch == L'{') && IsTagAt(text, i)) {
      size_t end = text.find_first_of(L">}", i + 1);
      if (end == std::wstring::npos) end = text.size();
      Tag(text.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (ch == L'\n') {
      NewLine();
      ++i;
    } else if (ch == L'\r') {
      ++i;
    } else {
      size_t j = i;
      while (j < text.size() && text[j] != L' ' && text[j] != L'\n' && text[j] != L'\r' &&
             !((text[j] == L'<' || text[j] == L'{') && IsTagAt(text, j)))
        ++j;
      while (j < text.size() && text[j] == L' ') ++j;
      AddWord(text.substr(i, j - i));
      i = j;
    }
  }
  FinishLine();
}

size_t MarkupLayout::RunRaw(const std::wstring& text, size_t i) {
  size_t end = std::min(text.find(L"{/r}", i), text.find(L"</r>", i));
  raw_ = false;
  const std::wstring raw = text.substr(i, end == std::wstring::npos ? std::wstring::npos : end - i);
  size_t start = 0;
  while (start < raw.size() && !stopped_) {
    size_t next = raw.find(L' ', start);
    next = next == std::wstring::npos ? raw.size() : raw.find_first_not_of(L' ', next);
    if (next == std::wstring::npos) next = raw.size();
    AddWord(raw.substr(start, next - start));
    start = next;
  }
  return end == std::wstring::npos ? text.size() : end + 4;
}

void MarkupLayout::Tag(const std::wstring& body) {
  const bool closing = !body.empty() && body[0] == L'/';
  const size_t letterAt = closing ? 1 : 0;
  if (letterAt >= body.size()) return;
  if (closing)
    CloseTag(body[letterAt]);
  else
    OpenTag(body[letterAt], Trim(body.substr(letterAt + 1)));
}

void MarkupLayout::OpenTag(wchar_t letter, const std::wstring& args) {
  switch (letter) {
    case L'a':
      link_ = static_cast<int>(targets_.size()) < linkCapacity_ ? static_cast<int>(targets_.size()) : -1;
      if (link_ >= 0) targets_.push_back(args);
      colors_.push_back(host_->UsesSystemColors()
                            ? SystemColor(COLOR_HOTLIGHT)
                            : host_->GetDefaultColor(link_ >= 0 && link_ == hoverLink_ ? kLinkHoverColor : kLinkColor));
      PushDerived(Font()->bold, true, Font()->italic);
      break;
    case L'b':
      PushDerived(true, Font()->underline, Font()->italic);
      break;
    case L'u':
      PushDerived(Font()->bold, true, Font()->italic);
      break;
    case L'i':
      if (args.empty())
        PushDerived(Font()->bold, Font()->underline, true);
      else
        ImageTag(args);
      break;
    case L'c':
      colors_.push_back(host_->UsesSystemColors() ? colors_.back() : Parse::Color(args));
      break;
    case L'f':
      FontTag(args);
      break;
    case L'n':
      NewLine();
      break;
    case L'p':
      paragraphSpacing_ = Parse::Int(args);
      NewLine();
      break;
    case L'r':
      raw_ = true;
      break;
    case L's':
      selected_ = !selected_;
      break;
    case L'v':
      valign_ = args == L"center" ? kVCenter : args == L"top" ? kVTop : kVBottom;
      break;
    case L'x':
      x_ += Parse::Int(args);
      break;
    case L'y':
      minLineHeight_ = Parse::Int(args);
      break;
    default:
      break;  // unknown tags are skipped
  }
}

void MarkupLayout::CloseTag(wchar_t letter) {
  switch (letter) {
    case L'a':
      PopColor();
      PopFont();
      link_ = -1;
      break;
    case L'i': {
      const bool wasItalic = Font()->italic;
      PopFont();
      if (wasItalic) x_ += Measure(L" ") / 2;
      break;
    }
    case L'b':
    case L'f':
    case L'u':
      PopFont();
      break;
    case L'c':
      PopColor();
      break;
    case L'p':
      paragraphSpacing_ = 0;
      break;
    case L's':
      selected_ = false;
      break;
    case L'v':
      valign_ = kVBottom;
      break;
    default:
      break;
  }
}

void MarkupLayout::PushDerived(bool bold, bool underline, bool italic) {
  const FontInfo* f = Font();
  const FontInfo* derived = host_->DerivedFont(f->face, f->size, bold, underline, italic);
  fonts_.push_back(derived ? derived : f);
}

void MarkupLayout::FontTag(const std::wstring& args) {
  if (!args.empty() && args[0] >= L'0' && args[0] <= L'9') {
    fonts_.push_back(host_->GetFontInfo(Parse::Int(args)));
    return;
  }
  const size_t faceEnd = args.find(L' ');
  const std::wstring face = args.substr(0, faceEnd);
  const std::wstring rest = faceEnd == std::wstring::npos ? std::wstring() : Trim(args.substr(faceEnd));
  long size = 10;
  if (!rest.empty() && rest[0] >= L'0' && rest[0] <= L'9') size = Parse::Int(rest);
  const FontInfo* font =
      host_->DerivedFont(face, size, rest.find(L"bold") != std::wstring::npos,
                         rest.find(L"underline") != std::wstring::npos, rest.find(L"italic") != std::wstring::npos);
  fonts_.push_back(font ? font : Font());
}

void MarkupLayout::ImageTag(const std::wstring& args) {
  // "name [count] [index]"; a descriptor keeps its quoted value together.
  std::wstring descriptor = args;
  long numbers[2] = {1, 0};
  const size_t quote = args.rfind(L'\'');
  const size_t tail = args.find(L' ', quote == std::wstring::npos ? 0 : quote);
  if (tail != std::wstring::npos) {
    descriptor = args.substr(0, tail);
    const std::wstring rest = Trim(args.substr(tail));
    const size_t space = rest.find(L' ');
    numbers[0] = Parse::Int(rest.substr(0, space));
    if (space != std::wstring::npos) numbers[1] = Parse::Int(Trim(rest.substr(space)));
  }
  ImageDrawInfo info;
  info.SetDescriptor(descriptor);
  info.ParseDescriptor();
  ImageRecord* image = host_->LookupImage(info.name, info.resType.empty() ? nullptr : info.resType.c_str(), info.mask);
  if (!image) return;
  const int count = std::max<long>(1, numbers[0]);
  const int index = numbers[1] >= 0 && numbers[1] < count ? numbers[1] : 0;
  Piece piece;
  piece.image = image;
  piece.cx = image->width / count;
  piece.cy = image->height;
  piece.source = {index * piece.cx, 0, (index + 1) * piece.cx, image->height};
  piece.x = x_;
  piece.valign = valign_;
  piece.link = link_;
  lines_.back().pieces.push_back(piece);
  x_ += piece.cx;
  lines_.back().ink = std::max(lines_.back().ink, x_);
}

int MarkupLayout::Measure(const std::wstring& text) const {
  return DrawnTextWidth(Font()->font.get(), text.c_str(), static_cast<int>(text.size()));
}

void MarkupLayout::AddWord(const std::wstring& word) {
  const bool singleLine = (style_ & DT_SINGLELINE) != 0;
  const std::wstring visible = word.substr(0, word.find_last_not_of(L' ') + 1);
  const int visibleWidth = Measure(visible);
  if (!singleLine && x_ + visibleWidth > area_.right && !lines_.back().pieces.empty() && !visible.empty()) {
    if ((style_ & DT_END_ELLIPSIS) && !NextLineFits()) {
      EndWithEllipsis(visible);
      return;
    }
    NewLine();
  }
  if (!singleLine || x_ + visibleWidth <= area_.right) {
    AddPiece(word, Measure(word), visibleWidth);
    return;
  }
  if (!(style_ & DT_END_ELLIPSIS)) {
    stopped_ = true;
    AddPiece(visible, visibleWidth, visibleWidth);  // cut by the clip rectangle
    return;
  }
  EndWithEllipsis(visible);
}

// The last words that find room, then "...": the rest of the text is not laid out.
void MarkupLayout::EndWithEllipsis(const std::wstring& visible) {
  stopped_ = true;
  std::wstring cut = visible;
  while (!cut.empty() && x_ + Measure(cut + L"...") > area_.right) cut.pop_back();
  const int width = Measure(cut + L"...");
  AddPiece(cut + L"...", width, width);
}

// Whether a line of the current font still fits below the lines laid out so far.
bool MarkupLayout::NextLineFits() const {
  int used = 0;
  for (size_t i = 0; i + 1 < lines_.size(); ++i) used += lines_[i].height + lines_[i].spacing;
  int current = std::max<int>(minLineHeight_, Font()->metrics.tmHeight);
  for (const Piece& piece : lines_.back().pieces) current = std::max(current, piece.cy);
  return used + current + Font()->metrics.tmHeight <= RectHeight(area_);
}

void MarkupLayout::AddPiece(const std::wstring& text, int cx, int inkWidth) {
  lines_.back().ink = std::max(lines_.back().ink, x_ + inkWidth);
  Piece piece;
  piece.text = text;
  piece.font = Font();
  piece.color = colors_.back();
  piece.selected = selected_;
  piece.x = x_;
  piece.cx = cx;
  piece.cy = Font()->metrics.tmHeight;
  piece.valign = valign_;
  piece.link = link_;
  lines_.back().pieces.push_back(piece);
  x_ += cx;
}

void MarkupLayout::NewLine() {
  FinishLine();
  lines_.back().spacing = paragraphSpacing_;
  lines_.emplace_back();
  x_ = area_.left;
}

void MarkupLayout::FinishLine() {
  Line& line = lines_.back();
  line.height = std::max<int>(minLineHeight_, line.pieces.empty() ? Font()->metrics.tmHeight : 0);
  for (const Piece& piece : line.pieces) line.height = std::max(line.height, piece.cy);
  line.right = line.pieces.empty() ? area_.left : line.ink;
  minLineHeight_ = 0;
}

// Places the lines from the top of area and returns the extent they use.
SIZE PlaceLines(std::vector<Line>& lines, const RECT& area) {
  SIZE extent = {0, 0};
  int y = area.top;
  for (size_t i = 0; i < lines.size(); ++i) {
    lines[i].top = y;
    y += lines[i].height + (i + 1 < lines.size() ? lines[i].spacing : 0);
    extent.cx = std::max<LONG>(extent.cx, lines[i].right - area.left);
  }
  extent.cy = y - area.top;
  return extent;
}

// -- Right-to-left paragraphs ---------------------------------------------------------------------
// A text whose first letter is Arabic or Hebrew reads from the right: the words of each line are set
// from the line's right end, while a run of Latin words keeps its own order. This is the paragraph part
// of Unicode's bidirectional rules; the letters within a word are ordered and joined by TextOut.

bool IsRightToLeftLetter(wchar_t c) {
  return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
}

enum class Direction { kNone, kLeftToRight, kRightToLeft };

// The direction of the first letter that has one; digits, blanks and punctuation have none.
Direction FirstStrongDirection(const Piece& piece) {
  if (piece.image) return Direction::kNone;
  for (wchar_t c : piece.text) {
    if (IsRightToLeftLetter(c)) return Direction::kRightToLeft;
    if (::IsCharAlphaW(c)) return Direction::kLeftToRight;
  }
  return Direction::kNone;
}

bool ReadsRightToLeft(const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    for (const Piece& piece : line.pieces) {
      const Direction direction = FirstStrongDirection(piece);
      if (direction != Direction::kNone) return direction == Direction::kRightToLeft;
    }
  }
  return false;
}

// Takes the blanks off the end of a word and returns their width: in a mirrored line they belong on
// the word's left.
int TakeTrailingBlanks(Piece& piece) {
  if (piece.image) return 0;
  const size_t last = piece.text.find_last_not_of(L' ');
  const size_t keep = last == std::wstring::npos ? 0 : last + 1;
  if (keep == piece.text.size()) return 0;
  const int kept = DrawnTextWidth(piece.font->font.get(), piece.text.c_str(), static_cast<int>(keep));
  const int width = std::max(0, piece.cx - kept);
  piece.text.resize(keep);
  piece.cx -= width;
  return width;
}

// Sets the line's words from its right end: each word, or run of Latin words, takes the place its
// mirror image has within the span the line already covers. A line wider than the area is set from the
// area's right edge, so that what the clip cuts is the end of the sentence, not its beginning.
void MirrorLine(Line& line, int areaRight) {
  std::vector<Piece>& pieces = line.pieces;
  if (pieces.empty()) return;
  const int left = pieces.front().x;
  const int right = std::max(left, std::min(pieces.back().x + pieces.back().cx, areaRight));
  for (size_t begin = 0, end = 0; begin < pieces.size(); begin = end) {
    end = begin + 1;
    if (FirstStrongDirection(pieces[begin]) == Direction::kLeftToRight) {
      // The run takes blanks and punctuation that stand between two of its words.
      for (size_t next = end; next < pieces.size(); ++next) {
        const Direction direction = FirstStrongDirection(pieces[next]);
        if (direction == Direction::kRightToLeft) break;
        if (direction == Direction::kLeftToRight) end = next + 1;
      }
    }
    const int from = pieces[begin].x, to = pieces[end - 1].x + pieces[end - 1].cx;
    const int shift = left + right - to + TakeTrailingBlanks(pieces[end - 1]) - from;
    for (size_t i = begin; i < end; ++i) pieces[i].x += shift;
    // Shaped Arabic can be narrower than its measure; drawn from the right it still meets its neighbour.
    if (end == begin + 1) pieces[begin].fromRight = FirstStrongDirection(pieces[begin]) != Direction::kLeftToRight;
  }
}

void DrawPiece(HDC dc, IRenderHost* host, const Piece& piece, int top) {
  const RECT box = {piece.x, top, piece.x + piece.cx, top + piece.cy};
  if (piece.image) {
    DrawBitmapPiece(dc, *piece.image, box, piece.source, 255);
    return;
  }
  if (piece.selected) DrawColor(dc, box, 0xFF000000 | host->GetDefaultColor(kSelectedColor));
  Scoped::SelectObject select(dc, piece.font->font.get());
  ::SetTextColor(dc, ToColorRef(piece.color));
  if (piece.fromRight) {
    const UINT align = ::SetTextAlign(dc, TA_RIGHT | TA_TOP);
    ::TextOutW(dc, piece.x + piece.cx, top, piece.text.c_str(), static_cast<int>(piece.text.size()));
    ::SetTextAlign(dc, align);
    return;
  }
  ::TextOutW(dc, piece.x, top, piece.text.c_str(), static_cast<int>(piece.text.size()));
}

void DrawLines(HDC dc, IRenderHost* host, const std::vector<Line>& lines, RECT* links, int linkCount) {
  for (int i = 0; links && i < linkCount; ++i) links[i] = RECT{0, 0, 0, 0};
  for (const Line& line : lines) {
    for (const Piece& piece : line.pieces) {
      const int free = line.height - piece.cy;
      const int top = line.top + (piece.valign == kVTop ? 0 : piece.valign == kVCenter ? free / 2 : free);
      DrawPiece(dc, host, piece, top);
      if (!links || piece.link < 0 || piece.link >= linkCount) continue;
      const RECT box = {piece.x, line.top, piece.x + piece.cx, line.top + line.height};
      RECT& slot = links[piece.link];
      if (RectEmpty(slot))
        slot = box;
      else
        UnionRect(&slot, &slot, &box);
    }
  }
}

// Where the text block starts once DT_CENTER, DT_RIGHT, DT_VCENTER or DT_BOTTOM are applied.
RECT AlignedArea(HDC dc, IRenderHost* host, const RECT& rc, const std::wstring& text, DWORD color, int font,
                 UINT style) {
  const bool single = (style & DT_SINGLELINE) != 0;
  RECT measured = single ? RECT{rc.left, rc.top, rc.left + 9999, rc.top + 9999} : rc;
  int none = 0;
  DrawMarkupText(dc, host, measured, text, color, nullptr, nullptr, none, font,
                 (style & ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_END_ELLIPSIS)) | DT_CALCRECT);
  RECT area = rc;
  const int spareX = RectWidth(rc) - RectWidth(measured), spareY = RectHeight(rc) - RectHeight(measured);
  if (single && (style & DT_CENTER) && spareX > 0)
    area.left += spareX / 2;
  else if (single && (style & DT_RIGHT) && spareX > 0)
    area.left += spareX;
  if ((style & DT_VCENTER) && spareY > 0)
    area.top += spareY / 2;
  else if ((style & DT_BOTTOM) && spareY > 0)
    area.top += spareY;
  return area;
}

}  // namespace

void DrawMarkupText(HDC dc, IRenderHost* host, RECT& rc, const std::wstring& text, DWORD color, RECT* links,
                    std::wstring* targets, int& linkCount, int font, UINT style, int hoverLink) {
  const int capacity = links ? linkCount : 0;
  linkCount = 0;
  if (!host || !host->GetFontInfo(font)) return;
  Scoped::DeleteDC scratch;
  if (!dc) {  // measuring only
    scratch.reset(::CreateCompatibleDC(nullptr));
    dc = scratch.get();
  }
  const bool calc = (style & DT_CALCRECT) != 0;
  const bool aligned = (style & (DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM)) != 0;
  const RECT area = !calc && aligned ? AlignedArea(dc, host, rc, text, color, font, style) : rc;
  MarkupLayout layout(dc, host, area, style, color, font, capacity, hoverLink);
  layout.Run(MultiLanguage::Expand(text));
  const SIZE extent = PlaceLines(layout.Lines(), area);
  if (calc) {
    rc.right = rc.left + extent.cx;
    rc.bottom = rc.top + extent.cy;
    return;
  }
  Scoped::RestoreDC restore(dc);
  ::IntersectClipRect(dc, rc.left, rc.top, rc.right, rc.bottom);
  ::SetBkMode(dc, TRANSPARENT);
  if (ReadsRightToLeft(layout.Lines())) {
    for (Line& line : layout.Lines()) MirrorLine(line, rc.right);
  }
  linkCount = static_cast<int>(layout.Targets().size());
  DrawLines(dc, host, layout.Lines(), links, linkCount);
  for (int i = 0; targets && i < linkCount; ++i) targets[i] = layout.Targets()[i];
}

bool IsMarkupTagAt(const std::wstring& text, size_t i) {
  return i < text.size() && (text[i] == L'<' || text[i] == L'{') && IsTagAt(text, i);
}

}  // namespace SkinUI
