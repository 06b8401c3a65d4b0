# shellcheck shell=bash disable=SC2034
# Seed tree for scripts/dav-server: which collections and documents exist,
# what each document holds, and which display name each resource gets.
# Sourced, not run. The same tree is written to every server so that tests
# can expect the same listing whichever server they run against.

# Parents come before children: MKCOL needs the parent to exist.
SEED_COLLECTIONS=(
    "xbrl"
    "xbrl/config"
    "xbrl/other"
    "administration"
)

SEED_DOCUMENTS=(
    "xbrl/config/Document_1.xml"
    "xbrl/config/Document_2.xml"
    "xbrl/other/Document_3.xml"
    "xbrl/other/Document_4.xml"
    "administration/Users.xml"
)

# Display name of a resource, given its path relative to the root
# collection ("" is the root collection itself). Collections below the top
# level carry a leading "/" in their name; documents use their file name.
seed_display_name() {
    local rel=$1
    if [[ -z "$rel" ]]; then
        printf '%s' "ostrelwebdavserver"
    elif [[ "$rel" == *.xml ]]; then
        printf '%s' "${rel##*/}"
    elif [[ "$rel" == */* ]]; then
        printf '/%s' "${rel##*/}"
    else
        printf '%s' "$rel"
    fi
}

# Writes the body of a seeded document to stdout.
seed_document_content() {
    case "$1" in
    xbrl/config/Document_1.xml)
        cat <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<taxonomyConfiguration xmlns="urn:ostrel:config:taxonomy" version="1.2">
  <entryPoint id="annual-report" default="true">
    <schema>http://www.example.com/taxonomy/2023-12-31/annual-report.xsd</schema>
    <language>en</language>
    <language>de</language>
  </entryPoint>
  <entryPoint id="interim-report">
    <schema>http://www.example.com/taxonomy/2023-12-31/interim-report.xsd</schema>
    <language>en</language>
  </entryPoint>
  <validation calculation="true" formula="false" decimalsTolerance="0"/>
  <cache directory="taxonomy-cache" maxAgeDays="30"/>
</taxonomyConfiguration>
XML
        ;;
    xbrl/config/Document_2.xml)
        cat <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<reportingConfiguration xmlns="urn:ostrel:config:reporting">
  <entity scheme="http://standards.iso.org/iso/17442">529900T8BM49AURSDO55</entity>
  <period type="duration" start="2023-01-01" end="2023-12-31"/>
  <units>
    <unit id="EUR" measure="iso4217:EUR"/>
    <unit id="shares" measure="xbrli:shares"/>
  </units>
  <rounding decimals="-3"/>
  <output format="xbrl" encoding="UTF-8" fileName="annual-report-2023.xbrl"/>
</reportingConfiguration>
XML
        ;;
    xbrl/other/Document_3.xml)
        cat <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<xbrli:xbrl xmlns:xbrli="http://www.xbrl.org/2003/instance"
            xmlns:link="http://www.xbrl.org/2003/linkbase"
            xmlns:xlink="http://www.w3.org/1999/xlink"
            xmlns:iso4217="http://www.xbrl.org/2003/iso4217"
            xmlns:ar="http://www.example.com/taxonomy/2023-12-31/annual-report">
  <link:schemaRef xlink:type="simple" xlink:href="http://www.example.com/taxonomy/2023-12-31/annual-report.xsd"/>
  <xbrli:context id="FY2023">
    <xbrli:entity>
      <xbrli:identifier scheme="http://standards.iso.org/iso/17442">529900T8BM49AURSDO55</xbrli:identifier>
    </xbrli:entity>
    <xbrli:period>
      <xbrli:startDate>2023-01-01</xbrli:startDate>
      <xbrli:endDate>2023-12-31</xbrli:endDate>
    </xbrli:period>
  </xbrli:context>
  <xbrli:unit id="EUR">
    <xbrli:measure>iso4217:EUR</xbrli:measure>
  </xbrli:unit>
  <ar:Revenue contextRef="FY2023" unitRef="EUR" decimals="-3">12450000</ar:Revenue>
  <ar:CostOfSales contextRef="FY2023" unitRef="EUR" decimals="-3">7310000</ar:CostOfSales>
  <ar:GrossProfit contextRef="FY2023" unitRef="EUR" decimals="-3">5140000</ar:GrossProfit>
</xbrli:xbrl>
XML
        ;;
    xbrl/other/Document_4.xml)
        cat <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<link:linkbase xmlns:link="http://www.xbrl.org/2003/linkbase"
               xmlns:xlink="http://www.w3.org/1999/xlink"
               xmlns:xml="http://www.w3.org/XML/1998/namespace">
  <link:labelLink xlink:type="extended" xlink:role="http://www.xbrl.org/2003/role/link">
    <link:label xlink:type="resource" xlink:label="Revenue_en" xml:lang="en">Revenue</link:label>
    <link:label xlink:type="resource" xlink:label="Revenue_de" xml:lang="de">Umsatzerlöse</link:label>
    <link:label xlink:type="resource" xlink:label="GrossProfit_en" xml:lang="en">Gross profit</link:label>
    <link:label xlink:type="resource" xlink:label="GrossProfit_de" xml:lang="de">Bruttoergebnis vom Umsatz</link:label>
    <link:label xlink:type="resource" xlink:label="Note_fr" xml:lang="fr">Résultat brut – exercice clôturé</link:label>
  </link:labelLink>
</link:linkbase>
XML
        ;;
    administration/Users.xml)
        cat <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<users xmlns="urn:ostrel:administration:users">
  <user login="demo" role="editor">
    <name>Demo User</name>
    <email>demo@localhost</email>
  </user>
  <user login="jmueller" role="reviewer">
    <name>Jürgen Müller</name>
    <email>jmueller@localhost</email>
  </user>
  <user login="zoe" role="administrator">
    <name>Zoë Ångström</name>
    <email>zoe@localhost</email>
  </user>
</users>
XML
        ;;
    *)
        echo "seed_document_content: unknown document $1" >&2
        return 1
        ;;
    esac
}
