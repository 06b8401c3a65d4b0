#include "Data.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace ostrel::bench::data {

namespace {

constexpr std::array<const char*, 10> kConcepts = {
    "Revenue",       "CostOfSales",  "GrossProfit",     "OperatingExpenses", "OperatingProfit",
    "FinanceIncome", "FinanceCosts", "ProfitBeforeTax", "IncomeTaxExpense",  "ProfitLoss"};

std::string format(const char* pattern, long a, long b = 0, long c = 0) {
    char text[512];
    const int length = std::snprintf(text, sizeof text, pattern, a, b, c);
    return std::string(text, static_cast<std::size_t>(length > 0 ? length : 0));
}

void appendContext(std::string& out, long id) {
    out += format("  <xbrli:context id=\"c%ld\">\n", id);
    out +=
        "    <xbrli:entity>\n"
        "      <xbrli:identifier "
        "scheme=\"http://standards.iso.org/iso/17442\">529900T8BM49AURSDO55</xbrli:identifier>\n"
        "      <xbrli:segment>\n";
    out += format(
        "        <xbrldi:explicitMember "
        "dimension=\"ar:SegmentAxis\">ar:Segment%ldMember</xbrldi:explicitMember>\n",
        id % 50);
    out +=
        "      </xbrli:segment>\n"
        "    </xbrli:entity>\n"
        "    <xbrli:period>\n"
        "      <xbrli:startDate>2023-01-01</xbrli:startDate>\n"
        "      <xbrli:endDate>2023-12-31</xbrli:endDate>\n"
        "    </xbrli:period>\n"
        "  </xbrli:context>\n";
}

void appendFact(std::string& out, long context, std::size_t k) {
    const long value = (context * 7919 + static_cast<long>(k) * 104729) % 99999999;
    const std::string name = kConcepts[k];
    out += "  <ar:" + name;
    out += format(" contextRef=\"c%ld\" unitRef=\"EUR\" decimals=\"-3\" id=\"f%ld\">%ld</ar:", context,
                  context * 10 + static_cast<long>(k), value);
    out += name + ">\n";
}

void appendFacts(std::string& out, long context) {
    for (std::size_t k = 0; k < kConcepts.size(); ++k) appendFact(out, context, k);
}

}  // namespace

std::string instance(std::size_t minBytes) {
    std::string out;
    out.reserve(minBytes + 4096);
    out +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<xbrli:xbrl xmlns:xbrli=\"http://www.xbrl.org/2003/instance\""
        " xmlns:link=\"http://www.xbrl.org/2003/linkbase\" xmlns:xlink=\"http://www.w3.org/1999/xlink\""
        " xmlns:iso4217=\"http://www.xbrl.org/2003/iso4217\" xmlns:xbrldi=\"http://xbrl.org/2006/xbrldi\""
        " xmlns:ar=\"http://www.example.com/taxonomy/2023-12-31/annual-report\">\n"
        "  <link:schemaRef xlink:type=\"simple\""
        " xlink:href=\"http://www.example.com/taxonomy/2023-12-31/annual-report.xsd\"/>\n"
        "  <xbrli:unit id=\"EUR\">\n"
        "    <xbrli:measure>iso4217:EUR</xbrli:measure>\n"
        "  </xbrli:unit>\n";
    constexpr std::string_view kEnd = "</xbrli:xbrl>\n";
    for (long context = 0; out.size() + kEnd.size() < minBytes; ++context) {
        appendContext(out, context);
        for (std::size_t k = 0; k < kConcepts.size() && out.size() + kEnd.size() < minBytes; ++k)
            appendFact(out, context, k);
    }
    out += kEnd;
    return out;
}

std::string multistatus(std::size_t minBytes) {
    std::string out;
    out.reserve(minBytes + 4096);
    out +=
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\" xmlns:ns0=\"DAV:\">\n";
    constexpr std::string_view kEnd = "</D:multistatus>\n";
    for (long i = 0; out.size() + kEnd.size() < minBytes; ++i) {
        out += "<D:response xmlns:lp1=\"DAV:\" xmlns:lp2=\"http://apache.org/dav/props/\">\n";
        out += "<D:href>/ostrelwebdavserver/xbrl/reports/" + memberName(i) + "</D:href>\n";
        out +=
            "<D:propstat>\n<D:prop>\n<lp1:resourcetype/>\n"
            "<lp1:creationdate>2024-12-06T23:56:01Z</lp1:creationdate>\n";
        out += format("<lp1:getcontentlength>%ld</lp1:getcontentlength>\n", 1800 + i % 500);
        out += "<lp1:getlastmodified>Fri, 06 Dec 2024 23:56:01 GMT</lp1:getlastmodified>\n";
        out += format("<lp1:getetag>\"%lx-62a9b%05lx\"</lp1:getetag>\n", 1800 + i % 500, i);
        out +=
            "<lp2:executable>F</lp2:executable>\n"
            "<D:supportedlock>\n"
            "<D:lockentry>\n<D:lockscope><D:exclusive/></D:lockscope>\n<D:locktype><D:write/></D:locktype>\n"
            "</D:lockentry>\n"
            "<D:lockentry>\n<D:lockscope><D:shared/></D:lockscope>\n<D:locktype><D:write/></D:locktype>\n"
            "</D:lockentry>\n"
            "</D:supportedlock>\n"
            "<D:lockdiscovery/>\n"
            "<D:getcontenttype>text/xml</D:getcontenttype>\n";
        out += "<D:displayname>" + memberName(i) + "</D:displayname>\n";
        out += "</D:prop>\n<D:status>HTTP/1.1 200 OK</D:status>\n</D:propstat>\n</D:response>\n";
    }
    out += kEnd;
    return out;
}

std::string memberName(long index) {
    return format("doc-%06ld.xml", index);
}

std::string memberDocument(long index) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<xbrli:xbrl xmlns:xbrli=\"http://www.xbrl.org/2003/instance\""
        " xmlns:ar=\"http://www.example.com/taxonomy/2023-12-31/annual-report\">\n";
    appendFacts(out, index);
    out += "</xbrli:xbrl>\n";
    return out;
}

}  // namespace ostrel::bench::data
