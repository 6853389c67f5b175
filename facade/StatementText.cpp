#include "StatementText.h"

#include <utility>

#include "ParamList.h"

namespace {
const WString kComma = OLESTR(",");
const WString kSuffixMarker = OLESTR("||");

// Cuts text at its first "||"; the rest becomes the separator when not empty.
WString CutSeparatorSuffix(WString& text) {
    size_t at = text.find(kSuffixMarker);
    if (at == WString::npos) return kComma;
    WString separator = text.substr(at + kSuffixMarker.size());
    text.erase(at);
    return separator.empty() ? kComma : separator;
}

// The value list of an insert and its separator: the text before the first
// "||" and the text after it, or "," when there is none or it is empty.
struct ValueList {
    WStringView list;
    WStringView separator;
};

ValueList CutValueList(WStringView values) {
    const size_t cut = values.find(WStringView(kSuffixMarker));
    if (cut == WStringView::npos) return {values, WStringView(kComma)};
    const WStringView separator = values.substr(cut + kSuffixMarker.size());
    return {values.substr(0, cut), separator.empty() ? WStringView(kComma) : separator};
}

void AppendQuoted(WString& sql, const WString& value) {
    sql.push_back(OLESTR('\''));
    sql.append(value);
    sql.push_back(OLESTR('\''));
}

// Whether two lists pair up; when not, *defect names them and their counts.
bool SameCount(size_t columns, size_t values, StatementText::Defect::Kind kind, StatementText::Defect* defect) {
    if (columns == values) return true;
    if (defect != nullptr) {
        defect->kind = kind;
        defect->columns = columns;
        defect->values = values;
    }
    return false;
}
}  // namespace

bool StatementText::InsertValues(WStringView values, std::vector<WStringView>& pieces) {
    pieces.clear();
    const auto [list, separator] = CutValueList(values);
    if (separator.find(OLESTR('\'')) != WStringView::npos) return false;
    // Without a quote in the separator, doubling the quotes moves no
    // separator, so the pieces can be cut before the doubling. An empty list
    // has no pieces; a separator at the very end adds no empty last piece.
    size_t position = 0;
    while (position < list.size()) {
        const size_t found = list.find(separator, position);
        const size_t end = found == WStringView::npos ? list.size() : found;
        pieces.push_back(list.substr(position, end - position));
        if (found == WStringView::npos) break;
        position = found + separator.size();
    }
    return true;
}

void StatementText::AppendInsertHead(WString& sql, WStringView table, WStringView columns) {
    sql.append(OLESTR("REPLACE INTO ")).append(table).append(OLESTR(" (")).append(columns).append(
        OLESTR(") VALUES ("));
}

WString StatementText::Insert(WStringView table, WStringView columns, WStringView values) {
    WString sql;
    sql.reserve(table.size() + columns.size() + values.size() * 2 + 32);
    AppendInsertHead(sql, table, columns);
    std::vector<WStringView> pieces;
    if (InsertValues(values, pieces)) {
        // Each piece is doubled as it is written, with no copies in between.
        for (size_t p = 0; p < pieces.size(); ++p) {
            const WStringView piece = pieces[p];
            if (p > 0) sql.push_back(OLESTR(','));
            sql.push_back(OLESTR('\''));
            for (size_t i = 0; i < piece.size();) {
                const size_t quote = piece.find(OLESTR('\''), i);
                if (quote == WStringView::npos) {
                    sql.append(piece.substr(i));
                    break;
                }
                sql.append(piece.substr(i, quote + 1 - i)).push_back(OLESTR('\''));
                i = quote + 1;
            }
            sql.push_back(OLESTR('\''));
        }
    } else {
        // The list is split after its quotes are doubled, so a separator that
        // holds a quote also matches inside doubled quotes: the general way.
        const ValueList cut = CutValueList(values);
        bool first = true;
        for (const WString& piece :
             ParamList::SplitString(ParamList::DoubleQuotes(WString(cut.list)), WString(cut.separator))) {
            if (!first) sql.push_back(OLESTR(','));
            AppendQuoted(sql, piece);
            first = false;
        }
    }
    sql.append(OLESTR(");"));
    return sql;
}

std::optional<WString> StatementText::Update(const WString& table, const WString& conditionColumns,
                                             const WString& conditionValues, const WString& newColumns,
                                             const WString& newValues, Defect* defect) {
    WString columns = newColumns;
    WString separator = CutSeparatorSuffix(columns);
    std::vector<WString> columnPieces = ParamList::SplitString(columns, separator);
    std::vector<WString> valuePieces = ParamList::SplitString(ParamList::DoubleQuotes(newValues), separator);
    if (!SameCount(columnPieces.size(), valuePieces.size(), Defect::Kind::NewCounts, defect)) return std::nullopt;

    WString sql = OLESTR("UPDATE ") + table + OLESTR(" SET ");
    for (size_t i = 0; i < columnPieces.size(); ++i) {
        if (i > 0) sql.append(OLESTR(", "));
        sql.append(columnPieces[i]).push_back(OLESTR('='));
        AppendQuoted(sql, valuePieces[i]);
    }
    if (!conditionColumns.empty()) {
        std::vector<WString> conditionPieces = ParamList::SplitString(conditionColumns, kComma);
        std::vector<WString> conditionValuePieces =
            ParamList::SplitString(ParamList::DoubleQuotes(conditionValues), kComma);
        if (!SameCount(conditionPieces.size(), conditionValuePieces.size(), Defect::Kind::ConditionCounts, defect))
            return std::nullopt;
        for (size_t i = 0; i < conditionPieces.size(); ++i) {
            sql.append(i == 0 ? OLESTR(" WHERE ") : OLESTR(" AND ")).append(conditionPieces[i]).push_back(
                OLESTR('='));
            AppendQuoted(sql, conditionValuePieces[i]);
        }
    }
    sql.push_back(OLESTR(';'));
    return sql;
}

bool StatementText::AppendPatternPairs(WString& sql, const WString& columns, const WString& quotedValues,
                                       Defect* defect) {
    std::vector<WString> columnPieces = ParamList::SplitString(columns, kComma);
    std::vector<WString> valuePieces = ParamList::SplitString(quotedValues, kComma);
    if (!SameCount(columnPieces.size(), valuePieces.size(), Defect::Kind::ConditionCounts, defect)) return false;
    for (size_t i = 0; i < columnPieces.size(); ++i) {
        if (i > 0) sql.append(OLESTR(" AND "));
        sql.append(columnPieces[i]);
        sql.append(valuePieces[i].find(OLESTR('%')) != WString::npos ? OLESTR(" like ") : OLESTR(" = "));
        AppendQuoted(sql, valuePieces[i]);
    }
    sql.push_back(OLESTR(';'));
    return true;
}

WString StatementText::RawCondition(WString head, const WString& condition, Defect* defect) {
    head.append(OLESTR(" WHERE ")).append(condition).push_back(OLESTR(';'));
    if (condition.find(OLESTR(';')) == WString::npos) return head;
    if (defect != nullptr) {
        defect->kind = Defect::Kind::RawSemicolon;
        defect->refused = std::move(head);
    }
    return WString();
}

WString StatementText::Delete(const WString& table, const WString& conditionColumns,
                              const WString& conditionValues, Defect* defect) {
    WString quotedValues = ParamList::DoubleQuotes(conditionValues);
    if (conditionColumns.empty()) return OLESTR("DELETE FROM ") + table + OLESTR(";");
    if (quotedValues.empty()) return RawCondition(OLESTR("DELETE FROM ") + table, conditionColumns, defect);
    WString sql = OLESTR("DELETE FROM ") + table + OLESTR(" where ");
    AppendPatternPairs(sql, conditionColumns, quotedValues, defect);  // counts differ: left incomplete on purpose
    return sql;
}

WString StatementText::Select(const WString& tableArg, const WString& conditionColumns,
                              const WString& conditionValues, Defect* defect) {
    WString quotedValues = ParamList::DoubleQuotes(conditionValues);
    WString table = tableArg;
    WString selectList = OLESTR("*");
    if (tableArg.find(OLESTR("#*#")) != WString::npos) {
        std::vector<WString> pieces = ParamList::SplitString(tableArg, OLESTR("#*#"));
        if (pieces.size() >= 2) {
            table = pieces[0];
            selectList = pieces[1];
        } else {
            selectList.clear();
        }
    }
    if (conditionColumns.empty()) return OLESTR("SELECT ") + selectList + OLESTR(" FROM ") + table + OLESTR(";");
    if (quotedValues.empty())
        return RawCondition(OLESTR("SELECT ") + selectList + OLESTR(" FROM ") + table, conditionColumns, defect);
    WString sql = OLESTR("SELECT ") + selectList + OLESTR(" FROM ") + table + OLESTR(" WHERE ");
    AppendPatternPairs(sql, conditionColumns, quotedValues, defect);  // counts differ: left incomplete on purpose
    return sql;
}
