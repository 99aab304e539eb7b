#ifndef VQ_RPN_RPN_COMPARISON_OPERATORS_H_
#define VQ_RPN_RPN_COMPARISON_OPERATORS_H_

#include <string>

#include "rpn/rpn_operator.h"

// The six comparisons share one rule:
//   - a void operand makes the result FALSE (for "!=" as well);
//   - two numeric texts compare as doubles (IEEE: NaN is unequal to all);
//   - otherwise the texts compare as unsigned byte strings, case-sensitive.
class RpnComparison : public RpnOperatorBinary {
 public:
  RpnToken compute(const RpnToken& left, const RpnToken& right) const final;

  // The comparison of two non-void texts, `right` being already classified:
  // `right_numeric` and `right_number` as RpnToken::numericValue gives them.
  // Lets a filter classify a constant operand once for all candidates.
  bool compareTexts(const std::string& left,
                    const std::string& right,
                    bool right_numeric,
                    double right_number) const;

 protected:
  virtual bool compareNumbers(double left, double right) const = 0;
  // `order` is negative, zero or positive as left sorts before, equal to or
  // after right.
  virtual bool compareOrder(int order) const = 0;
};

class RpnOperatorEquals : public RpnComparison {
 public:
  const char* getToken() const override { return "="; }

 protected:
  bool compareNumbers(double l, double r) const override { return l == r; }
  bool compareOrder(int order) const override { return order == 0; }
};

class RpnOperatorNotEquals : public RpnComparison {
 public:
  const char* getToken() const override { return "!="; }

 protected:
  bool compareNumbers(double l, double r) const override { return l != r; }
  bool compareOrder(int order) const override { return order != 0; }
};

class RpnOperatorLt : public RpnComparison {
 public:
  const char* getToken() const override { return "<"; }

 protected:
  bool compareNumbers(double l, double r) const override { return l < r; }
  bool compareOrder(int order) const override { return order < 0; }
};

class RpnOperatorGt : public RpnComparison {
 public:
  const char* getToken() const override { return ">"; }

 protected:
  bool compareNumbers(double l, double r) const override { return l > r; }
  bool compareOrder(int order) const override { return order > 0; }
};

class RpnOperatorLtE : public RpnComparison {
 public:
  const char* getToken() const override { return "<="; }

 protected:
  bool compareNumbers(double l, double r) const override { return l <= r; }
  bool compareOrder(int order) const override { return order <= 0; }
};

class RpnOperatorGtE : public RpnComparison {
 public:
  const char* getToken() const override { return ">="; }

 protected:
  bool compareNumbers(double l, double r) const override { return l >= r; }
  bool compareOrder(int order) const override { return order >= 0; }
};

#endif  // VQ_RPN_RPN_COMPARISON_OPERATORS_H_
