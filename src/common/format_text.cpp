#include "common/format_text.h"

namespace {

class Writer {
 public:
  Writer(char16_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
  void Put(char16_t c) {
    if (n_ + 1 < capacity_) out_[n_++] = c;
  }
  void Repeat(char16_t c, size_t times) {
    for (size_t i = 0; i < times; ++i) Put(c);
  }
  size_t Finish() {
    if (capacity_ != 0) out_[n_] = 0;
    return n_;
  }

 private:
  char16_t* out_;
  size_t capacity_;
  size_t n_ = 0;
};

struct FieldStyle {
  bool left = false;
  bool zero = false;
  size_t width = 0;
};

// One converted field: an optional sign, then the body; padded to the width.
void PutField(Writer& w, const FieldStyle& style, bool negative, const char16_t* body, size_t length, bool numeric) {
  const size_t used = length + (negative ? 1 : 0);
  const size_t pad = style.width > used ? style.width - used : 0;
  if (!style.left && !(style.zero && numeric)) w.Repeat(u' ', pad);
  if (negative) w.Put(u'-');
  if (!style.left && style.zero && numeric) w.Repeat(u'0', pad);
  for (size_t i = 0; i < length; ++i) w.Put(body[i]);
  if (style.left) w.Repeat(u' ', pad);
}

void PutNumber(Writer& w, const FieldStyle& style, bool negative, uint64_t magnitude) {
  char16_t digits[20];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char16_t body[20];
  for (size_t i = 0; i < n; ++i) body[i] = digits[n - 1 - i];
  PutField(w, style, negative, body, n, true);
}

void PutText(Writer& w, const FieldStyle& style, const char16_t* text) {
  size_t length = 0;
  if (text != nullptr)
    while (text[length] != 0) ++length;
  PutField(w, style, false, text, length, false);
}

void PutSigned(Writer& w, const FieldStyle& style, const FormatArg& arg) {
  if (arg.kind == FormatArg::Kind::kSigned && static_cast<int64_t>(arg.number) < 0) {
    PutNumber(w, style, true, 0 - arg.number);
  } else {
    PutNumber(w, style, false, arg.number);
  }
}

void Convert(Writer& w, const FieldStyle& style, char16_t conversion, const FormatArg& arg) {
  using Kind = FormatArg::Kind;
  if (arg.kind == Kind::kNone) return;
  if (arg.kind == Kind::kText) {
    if (conversion == u'c') {
      const char16_t unit[1] = {arg.text != nullptr ? arg.text[0] : char16_t{0}};
      PutField(w, style, false, unit, unit[0] != 0 ? 1 : 0, false);
    } else {
      PutText(w, style, arg.text);
    }
    return;
  }
  switch (conversion) {
    case u'c': {
      const char16_t unit[1] = {static_cast<char16_t>(arg.number)};
      PutField(w, style, false, unit, 1, false);
      break;
    }
    case u'u':
      // As printf does with an int: the value modulo 2^32.
      PutNumber(w, style, false, arg.kind == Kind::kSigned ? static_cast<uint32_t>(arg.number) : arg.number);
      break;
    default:  // d, i, s
      PutSigned(w, style, arg);
      break;
  }
}

bool IsConversion(char16_t c) { return c == u's' || c == u'd' || c == u'i' || c == u'u' || c == u'c'; }

}  // namespace

size_t FormatTextArgs(char16_t* out, size_t capacity, const char16_t* format, const FormatArg* args, size_t count) {
  Writer w(out, capacity);
  size_t next = 0;
  const char16_t* p = format;
  while (p != nullptr && *p != 0) {
    if (*p != u'%') {
      w.Put(*p++);
      continue;
    }
    const char16_t* start = p++;
    if (*p == u'%') {
      w.Put(u'%');
      ++p;
      continue;
    }
    FieldStyle style;
    for (;; ++p) {
      if (*p == u'-') style.left = true;
      else if (*p == u'0') style.zero = true;
      else break;
    }
    // Widths beyond any buffer of ours are held, not overflowed.
    while (*p >= u'0' && *p <= u'9') {
      if (style.width < 100000) style.width = style.width * 10 + static_cast<size_t>(*p - u'0');
      ++p;
    }
    while (*p == u'h' || *p == u'l') ++p;
    if (!IsConversion(*p)) {
      // Not a conversion of ours: the text stands as written.
      while (start != p) w.Put(*start++);
      continue;
    }
    Convert(w, style, *p++, next < count ? args[next] : FormatArg());
    ++next;
  }
  return w.Finish();
}
