#include "qrcfloatprint.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "qroplatform.h"

namespace {

const int kTextLength = 8191;

// Exact decimal digits of sig * 2^e2, by big-integer arithmetic in base 10^9:
// the first `want` significant digits go to `digits` (zeros past the end of the
// expansion); *expon is the decimal exponent of the first digit. Returns true
// when a nonzero digit follows the ones taken.
class ExactDecimal {
 public:
  bool leadingDigits(uint64_t sig, int32_t e2, int want, char* digits, int32_t* expon) {
    int32_t decimalShift = expand(sig, e2);
    // The top limb has 1 to 9 digits, every other limb exactly 9.
    uint32_t top = limbs_[count_ - 1];
    int topDigits = 1;
    for (uint32_t t = top; t >= 10; t /= 10) ++topDigits;
    int32_t total = topDigits + 9 * (count_ - 1);
    bool inexact = takeDigits(topDigits, want, digits);
    *expon = total - 1 + decimalShift;
    return inexact;
  }

 private:
  static const uint32_t kBase = 1000000000u;
  static const int kMaxLimbs = 1400;  // 5^16446 * 2^64 has under 11,520 digits

  void pushLimb(uint32_t v) { limbs_[count_++] = v; }
  void trim() {
    while (count_ > 1 && limbs_[count_ - 1] == 0) --count_;
  }

  // Sets the limbs to an integer m with sig * 2^e2 = m * 10^shift; returns shift.
  int32_t expand(uint64_t sig, int32_t e2) {
    while ((sig & 1) == 0) {  // fewer factors of 5 for the same value
      sig >>= 1;
      ++e2;
    }
    count_ = 0;
    pushLimb(static_cast<uint32_t>(sig % kBase));
    sig /= kBase;
    pushLimb(static_cast<uint32_t>(sig % kBase));
    pushLimb(static_cast<uint32_t>(sig / kBase));
    trim();
    int32_t decimalShift = 0;
    if (e2 >= 0) {
      while (e2 > 0) {
        int k = e2 < 28 ? e2 : 28;
        multiply(static_cast<uint32_t>(1u << k));
        e2 -= k;
      }
    } else {
      decimalShift = e2;  // m / 2^k = m * 5^k / 10^k
      int32_t k = -e2;
      while (k > 0) {
        int c = k < 13 ? static_cast<int>(k) : 13;
        uint32_t p = 1;
        for (int i = 0; i < c; ++i) p *= 5;
        multiply(p);
        k -= c;
      }
    }
    return decimalShift;
  }

  // Copies the first `want` digits of the limbs, the top one of topDigits
  // digits, padding with zeros; true when a nonzero digit is left over.
  bool takeDigits(int topDigits, int want, char* digits) const {
    int taken = 0;
    bool inexact = false;
    for (int i = count_ - 1; i >= 0; --i) {
      uint32_t limb = limbs_[i];
      if (taken >= want) {
        if (limb != 0) {
          inexact = true;
          break;
        }
        continue;
      }
      int len = i == count_ - 1 ? topDigits : 9;
      char chunk[9];
      for (int j = len - 1; j >= 0; --j) {
        chunk[j] = static_cast<char>('0' + limb % 10);
        limb /= 10;
      }
      for (int j = 0; j < len; ++j) {
        if (taken < want)
          digits[taken++] = chunk[j];
        else if (chunk[j] != '0')
          inexact = true;
      }
    }
    while (taken < want) digits[taken++] = '0';
    return inexact;
  }

  void multiply(uint32_t m) {
    uint64_t carry = 0;
    for (int i = 0; i < count_; ++i) {
      uint64_t t = static_cast<uint64_t>(limbs_[i]) * m + carry;
      limbs_[i] = static_cast<uint32_t>(t % kBase);
      carry = t / kBase;
    }
    while (carry != 0 && count_ < kMaxLimbs) {
      limbs_[count_++] = static_cast<uint32_t>(carry % kBase);
      carry /= kBase;
    }
  }

  uint32_t limbs_[kMaxLimbs];
  int count_ = 0;
};

// Appends characters to a buffer of limit + 1 characters, cutting at the limit.
struct TextOut {
  char* out;
  int limit;
  int length;
  void put(char c) {
    if (length < limit) out[length++] = c;
  }
  void put(const char* s) {
    while (*s) put(*s++);
  }
  void finish() { out[length] = '\0'; }
};

void setDirection(int mode) {
  qroplatform::setRounding(mode);
}

// Converts a finite double with the rounding direction `mode`; nearest after.
void convertBound(double v, int mode, char* out, int digits, int positional) {
  WideNumber w = doubleToWide(v);
  PackedExtended p = packWide(&w);
  setDirection(mode);
  wideToDecimal(&p, out, digits, kTextLength, positional);
  setDirection(qroplatform::RoundNearest);
}

void stripTrailingZeros(std::string& s) {
  if (s.find('.') == std::string::npos) return;
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  if (s.size() > 1 && s.back() == '.') s.pop_back();
}

void copyOut(const std::string& s, char* out) {
  size_t n = s.size() < static_cast<size_t>(kQrcPrefixBufferSize - 1) ? s.size()
                                                                      : kQrcPrefixBufferSize - 1;
  std::memcpy(out, s.data(), n);
  out[n] = '\0';
}

// Tail of a bound of an interval that holds zero.
std::string zeroCrossingTail(const char* text, bool lower, int positional) {
  const char* s = text;
  if (*s == '-') ++s;
  while (*s == '0') ++s;
  if (*s >= '1' && *s <= '9') return std::string(lower ? "-" : "") + s;
  if (*s != '.') return "0.0";
  ++s;
  int z = 0;
  while (*s == '0') {
    ++z;
    ++s;
  }
  std::string digits(s);
  if (positional == 1) {
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (!digits.empty() && digits.back() == '.') digits.pop_back();
  }
  if (digits.empty()) return "0.0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "e-%d", z);
  return std::string(lower ? "-0." : "0.") + digits + buf;
}

// Formats one tail of the same-sign form; f is minus the prefix's fractional
// digits, afterPoint tells whether the tail starts past the decimal point.
std::string formatTail(const std::string& tail, const char* sign, int f, int positional,
                       bool afterPoint) {
  size_t i = 0;
  while (i < tail.size() && tail[i] == '0') ++i;
  std::string rest = tail.substr(i);
  int z = afterPoint ? static_cast<int>(i) : 0;
  bool fractional = afterPoint;
  if (!afterPoint && !rest.empty() && rest[0] == '.') {
    fractional = true;
    size_t j = 1;
    while (j < rest.size() && rest[j] == '0') ++j;
    z = static_cast<int>(j - 1);
    rest = rest.substr(j);
  }
  if (positional == 1 && (fractional || rest.find('.') != std::string::npos)) {
    while (!rest.empty() && rest.back() == '0') rest.pop_back();
    if (!rest.empty() && rest.back() == '.') rest.pop_back();
  }
  if (rest.empty()) return "0.0";
  if (!fractional) return std::string(sign) + rest;
  int e = f - z;
  if (e == 0) return std::string(sign) + "0." + rest;
  char buf[64];
  std::snprintf(buf, sizeof buf, "e%d", e);
  return std::string(sign) + "0." + rest + buf;
}

// Distance of a tail from the next unit of the place before it: nines'
// complement, then one more in the last digit, the carry running across the
// point. Returns true when the carry leaves the first digit: the tail was all
// zeros and the distance is one whole unit of that place.
bool complementTail(std::string& tail) {
  for (char& ch : tail)
    if (ch >= '0' && ch <= '9') ch = static_cast<char>('9' - ch + '0');
  for (size_t k = tail.size(); k-- > 0;) {
    if (tail[k] == '.') continue;
    if (tail[k] == '9') {
      tail[k] = '0';
      continue;
    }
    tail[k] = static_cast<char>(tail[k] + 1);
    return false;
  }
  return true;
}

}  // namespace

std::string padLeadingZeros(const std::string& text, size_t count) {
  return std::string(count, '0') + text;
}

void alignDecimalPoints(std::string& a, std::string& b) {
  size_t pa = a.find('.'), pb = b.find('.');
  if (pa == std::string::npos) pa = a.size();
  if (pb == std::string::npos) pb = b.size();
  if (pa < pb) a = padLeadingZeros(a, pb - pa);
  if (pb < pa) b = padLeadingZeros(b, pa - pb);
}

namespace {

void padIntegerZeros(std::string& prefix, const std::string& text, size_t from) {
  for (size_t k = from; k < text.size() && text[k] != '.'; ++k) prefix += '0';
}

int fractionalDigits(const std::string& prefix) {
  size_t p = prefix.find('.');
  return p == std::string::npos ? 0 : static_cast<int>(prefix.size() - p - 1);
}

// The first `kept` digits of sig * 2^(exponent - 16383 - 63), rounded in the
// current direction; returns the decimal exponent of the first digit.
int32_t roundedDigits(uint64_t sig, int exponent, bool negative, int kept, char* d) {
  int32_t expon = 0;
  ExactDecimal exact;
  bool inexact = exact.leadingDigits(sig, exponent - 16383 - 63, kept, d, &expon);
  if (inexact) {
    int mode = qroplatform::getRounding();
    bool away = (!negative && mode == qroplatform::RoundUpward) ||
                (negative && mode == qroplatform::RoundDownward);
    if (away) {
      int k = kept - 1;
      while (k >= 0 && d[k] == '9') d[k--] = '0';
      if (k >= 0) {
        ++d[k];
      } else {
        d[0] = '1';
        ++expon;
      }
    }
  }
  return expon;
}

// d.ddd followed by the exponent e - 1 (a trailing 0 when it is zero).
void putScientific(TextOut& t, const char* d, int kept, int32_t e) {
  char num[32];
  for (int k = 0; k < kept && k < t.limit; ++k) {
    t.put(d[k]);
    if (k == 0) t.put('.');
  }
  if (e - 1 != 0) {
    std::snprintf(num, sizeof num, "e%s%d", e - 1 > 0 ? "+" : "", static_cast<int>(e - 1));
    t.put(num);
  } else {
    t.put('0');
  }
}

// The digits with the point after the first e of them.
void putPositional(TextOut& t, const char* d, int kept, int32_t e, int maxLength) {
  char num[32];
  if (e >= 1) {
    int k = 0;
    while (k < kept && k < e) t.put(d[k++]);
    if (k == e) {
      t.put('.');
      while (k < kept) t.put(d[k++]);
    } else if (e - k >= maxLength) {
      std::snprintf(num, sizeof num, "E%d", static_cast<int>(e - k));
      t.put(num);
    } else {
      for (int32_t z = k; z < e; ++z) t.put('0');
    }
  } else {
    t.put("0.");
    for (int32_t z = 0; z < -e; ++z) t.put('0');
    for (int k = 0; k < kept; ++k) t.put(d[k]);
  }
}

}  // namespace

// One more prefix digit across a carry; on success the texts' cursor moves and
// true is returned. On failure before the point the prefix keeps its magnitude.
bool commonPrefixStep(const std::string& lo, const std::string& hi, size_t& i, std::string& prefix,
                      bool negative) {
  bool passed = prefix.find('.') != std::string::npos;
  auto failed = [&]() {
    if (!passed) padIntegerZeros(prefix, lo, i);
    return false;
  };
  if (i >= lo.size() || i >= hi.size()) return failed();
  char a = lo[i], b = hi[i];
  int diff = a > b ? a - b : b - a;
  bool positive = !negative;
  if (diff >= 2 && !(positive ? (b == '1' || a == '9') : (b == '9' || a == '1'))) return failed();
  char na = i + 1 < lo.size() ? lo[i + 1] : '\0';
  char nb = i + 1 < hi.size() ? hi[i + 1] : '\0';
  char kept = positive ? b : a;
  if (na == '.' && nb == '.') {
    char la = i + 2 < lo.size() ? lo[i + 2] : '\0';
    char lb = i + 2 < hi.size() ? hi[i + 2] : '\0';
    if (positive ? (la == '9' && lb == '0') : (la == '0' && lb == '9')) {
      prefix += kept;
      prefix += ".0";
      i += 3;
      return true;
    }
    return failed();
  }
  if (positive ? (na == '9' && nb == '0') : (na == '0' && nb == '9')) {
    prefix += kept;
    if (!passed) padIntegerZeros(prefix, lo, i + 1);
    i += 1;
    return true;
  }
  return failed();
}

void wideToDecimal(const PackedExtended* x, char* out, int digits, int maxLength, int positional) {
  TextOut t{out, maxLength < 0 ? 0 : maxLength, 0};
  bool negative = (x->w[4] & 0x8000) != 0;
  int exponent = x->w[4] & 0x7FFF;
  uint64_t sig = (static_cast<uint64_t>(x->w[3]) << 48) | (static_cast<uint64_t>(x->w[2]) << 32) |
                 (static_cast<uint64_t>(x->w[1]) << 16) | x->w[0];
  int n = digits < 0 ? 0 : (digits > 18 ? 18 : digits);
  int kept = n + 1;
  char d[20];
  int32_t expon = 0;
  if (sig == 0) {
    negative = false;
    std::memset(d, '0', sizeof d);
  } else {
    expon = roundedDigits(sig, exponent, negative, kept, d);
  }
  if (negative) t.put('-');
  int32_t e = expon + 1;  // digits before the point in positional form
  if (positional == 0)
    putScientific(t, d, kept, e);
  else
    putPositional(t, d, kept, e, maxLength);
  t.finish();
}

std::ostream& printFloatInterval(double lo, double hi, std::ostream& os, int positional) {
  char text[kTextLength + 1];
  int digits = static_cast<int>(os.precision()) - 1;
  if (std::isnan(lo)) {
    os << "[NaN..";
  } else if (lo == -HUGE_VAL) {
    os << "(-Infinity..";
  } else if (lo == HUGE_VAL) {
    os << "(+Infinity..";
  } else {
    convertBound(lo, qroplatform::RoundDownward, text, digits, positional);
    os << "[" << text << "..";
  }
  if (std::isnan(hi)) {
    os << "NaN]";
  } else if (hi == -HUGE_VAL) {
    os << "-Infinity)";
  } else if (hi == HUGE_VAL) {
    os << "+Infinity)";
  } else {
    convertBound(hi, qroplatform::RoundUpward, text, digits, positional);
    os << text << "]";
  }
  return os;
}

std::ostream& printFloatRange(double lo, double hi, std::ostream& os, int positional) {
  if (lo == hi) {
    if (std::isinf(lo)) return os << "[" << (lo > 0 ? "+Infinity" : "-Infinity") << "]";
    // One number only when its digits are exact; otherwise two bounds outward.
    char down[kTextLength + 1], up[kTextLength + 1];
    convertBound(lo, qroplatform::RoundDownward, down, 18, positional);
    convertBound(hi, qroplatform::RoundUpward, up, 18, positional);
    if (std::strcmp(down, up) == 0) {
      std::string s(down);
      if (positional == 1) stripTrailingZeros(s);
      return os << "[" << s << "]";
    }
  }
  char sign[kQrcPrefixBufferSize], prefix[kQrcPrefixBufferSize];
  char loTail[kQrcPrefixBufferSize], hiTail[kQrcPrefixBufferSize];
  if (!printFloatIntervalCommonPrefix(lo, hi, sign, prefix, loTail, hiTail, positional))
    return printFloatInterval(lo, hi, os, positional);
  return os << "[" << sign << prefix << " + [" << loTail << ".." << hiTail << "]]";
}

int printFloatIntervalCommonPrefix(double lo, double hi, char* signOut, char* prefixOut,
                                   char* loTailOut, char* hiTailOut, int positional) {
  if (std::isinf(lo) || std::isinf(hi) || std::isnan(lo) || std::isnan(hi)) return 0;
  char loText[kTextLength + 1], hiText[kTextLength + 1];
  convertBound(lo, qroplatform::RoundDownward, loText, 18, positional);
  convertBound(hi, qroplatform::RoundUpward, hiText, 18, positional);
  std::string prefix;
  if (lo <= 0 && 0 <= hi) {
    signOut[0] = '\0';
    prefix = "0.0";
    prefix.resize(prefix.size() < 18 ? 18 : prefix.size(), ' ');
    copyOut(prefix, prefixOut);
    copyOut(zeroCrossingTail(loText, true, positional), loTailOut);
    copyOut(zeroCrossingTail(hiText, false, positional), hiTailOut);
    return 1;
  }
  if (std::strchr(loText, 'e') || std::strchr(hiText, 'e')) return 0;
  bool negative = hi < 0;
  copyOut(negative ? "-" : "", signOut);
  std::string a(loText[0] == '-' ? loText + 1 : loText);
  std::string b(hiText[0] == '-' ? hiText + 1 : hiText);
  alignDecimalPoints(a, b);
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) prefix += a[i++];
  bool carry = commonPrefixStep(a, b, i, prefix, negative);
  int f = -fractionalDigits(prefix);
  if (!prefix.empty() && prefix.back() == '.') prefix.pop_back();
  std::string loTail = i < a.size() ? a.substr(i) : std::string();
  std::string hiTail = i < b.size() ? b.substr(i) : std::string();
  size_t point = a.find('.');
  bool afterPoint = point != std::string::npos && point < i;
  std::string loText2, hiText2;
  if (!carry) {
    loText2 = formatTail(loTail, negative ? "-" : "", f, positional, afterPoint);
    hiText2 = formatTail(hiTail, negative ? "-" : "", f, positional, afterPoint);
  } else {
    std::string& nearTail = negative ? hiTail : loTail;
    int fLo = f, fHi = f;
    if (complementTail(nearTail)) {
      // One unit of the prefix's last place: a fractional tail moves up one place.
      if (afterPoint) {
        nearTail = "1";
        ++(negative ? fHi : fLo);
      } else {
        nearTail = "1" + nearTail;
      }
    }
    loText2 = formatTail(loTail, "-", fLo, positional, afterPoint);
    hiText2 = formatTail(hiTail, "+", fHi, positional, afterPoint);
  }
  if (prefix.size() < 18) prefix.resize(18, ' ');
  copyOut(prefix, prefixOut);
  copyOut(loText2, loTailOut);
  copyOut(hiText2, hiTailOut);
  return 1;
}
