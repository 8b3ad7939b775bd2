#pragma once

// Filter expressions of the dataset, compiled once into a tree that tests a row in place.
//
//   expression := term { OR term }          term := factor { AND factor }
//   factor     := NOT factor | ( expression ) | operand test
//   test       := op operand | [NOT] IN ( literal {, literal} ) | IS [NOT] NULL | [NOT] LIKE 'pattern'
//   op         := = | <> | != | < | > | <= | >=
//   operand    := field | [field name] | 'text' | number | UPPER(operand) | LOWER(operand) | TRIM(operand)
//
// Texts compare as texts (case-sensitive unless asked otherwise); a number against a text
// compares as numbers when the text is one. An empty field equals ''.

#include "host/packet.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace dsfilter {

class Expression {
public:
    virtual ~Expression() = default;
    virtual bool matches(const packet::Row &row) const = 0;
};

struct FieldInfo {
    int index = -1;
    packet::FieldType type = packet::FieldType::String;
};
using FieldResolver = std::function<std::optional<FieldInfo>(const QString &name)>;

// Throws EHomologa with a message that names the filter and what is wrong with it.
std::shared_ptr<const Expression> compile(const QString &text, const FieldResolver &fields, bool caseInsensitive);

}  // namespace dsfilter
