#!/usr/bin/env python3
"""Writes the starter set's blank Office documents: bos.docx, bos.xlsx and bos.pptx.

Each is the smallest package that Word, Excel and PowerPoint (and LibreOffice) open without a
repair prompt: the parts each format requires, with their content types and relationships,
written in the order the formats expect ([Content_Types].xml first, then the package
relationships). The output is the same byte for byte on every run: entries are stored
uncompressed, with a fixed date and fixed attributes, so no zlib version can change it.

Usage: make_blank_documents.py OUTPUT_FOLDER
"""
import sys
import zipfile
from pathlib import Path

DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
FIXED_DATE = (1980, 1, 1, 0, 0, 0)

NS_CT = "http://schemas.openxmlformats.org/package/2006/content-types"
NS_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
RT_DOC = R + "/officeDocument"
RT_CORE = "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties"
RT_APP = R + "/extended-properties"
CT = "application/vnd.openxmlformats-officedocument."
CT_CORE = "application/vnd.openxmlformats-package.core-properties+xml"
CT_APP = CT + "extended-properties+xml"


def content_types(overrides):
    rows = [
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>',
        '<Default Extension="xml" ContentType="application/xml"/>',
    ]
    rows += [f'<Override PartName="{part}" ContentType="{ctype}"/>' for part, ctype in overrides]
    return DECL + f'<Types xmlns="{NS_CT}">' + "".join(rows) + "</Types>"


def relationships(rels):
    rows = [f'<Relationship Id="{rid}" Type="{rtype}" Target="{target}"/>' for rid, rtype, target in rels]
    return DECL + f'<Relationships xmlns="{NS_REL}">' + "".join(rows) + "</Relationships>"


def package_rels(main_part):
    return relationships([
        ("rId1", RT_DOC, main_part),
        ("rId2", RT_CORE, "docProps/core.xml"),
        ("rId3", RT_APP, "docProps/app.xml"),
    ])


def core_props():
    return DECL + (
        '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"'
        ' xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/"'
        ' xmlns:dcmitype="http://purl.org/dc/dcmitype/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
        '<dc:title></dc:title><dc:creator></dc:creator><cp:lastModifiedBy></cp:lastModifiedBy><cp:revision>1</cp:revision>'
        '</cp:coreProperties>')


def app_props(application):
    return DECL + (
        '<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties"'
        ' xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">'
        f'<Application>{application}</Application><DocSecurity>0</DocSecurity>'
        '<ScaleCrop>false</ScaleCrop><LinksUpToDate>false</LinksUpToDate>'
        '<SharedDoc>false</SharedDoc><HyperlinksChanged>false</HyperlinksChanged><AppVersion>16.0000</AppVersion>'
        '</Properties>')


def docx():
    W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
    document = DECL + (
        f'<w:document xmlns:w="{W}" xmlns:r="{R}"><w:body><w:p/>'
        '<w:sectPr><w:pgSz w:w="11906" w:h="16838"/>'
        '<w:pgMar w:top="1417" w:right="1417" w:bottom="1417" w:left="1417" w:header="708" w:footer="708" w:gutter="0"/>'
        '<w:cols w:space="708"/><w:docGrid w:linePitch="360"/></w:sectPr></w:body></w:document>')
    styles = DECL + (
        f'<w:styles xmlns:w="{W}"><w:docDefaults><w:rPrDefault><w:rPr>'
        '<w:rFonts w:ascii="Calibri" w:hAnsi="Calibri" w:eastAsia="Calibri" w:cs="Times New Roman"/>'
        '<w:sz w:val="22"/><w:szCs w:val="22"/><w:lang w:val="tr-TR" w:eastAsia="en-US" w:bidi="ar-SA"/>'
        '</w:rPr></w:rPrDefault><w:pPrDefault><w:pPr><w:spacing w:after="160" w:line="259" w:lineRule="auto"/>'
        '</w:pPr></w:pPrDefault></w:docDefaults>'
        '<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/><w:qFormat/></w:style>'
        '<w:style w:type="character" w:default="1" w:styleId="DefaultParagraphFont">'
        '<w:name w:val="Default Paragraph Font"/><w:uiPriority w:val="1"/><w:semiHidden/><w:unhideWhenUsed/></w:style>'
        '</w:styles>')
    settings = DECL + (
        f'<w:settings xmlns:w="{W}"><w:defaultTabStop w:val="708"/><w:characterSpacingControl w:val="doNotCompress"/>'
        '<w:compat><w:compatSetting w:name="compatibilityMode" w:uri="http://schemas.microsoft.com/office/word" w:val="15"/>'
        '</w:compat></w:settings>')
    return [
        ("[Content_Types].xml", content_types([
            ("/word/document.xml", CT + "wordprocessingml.document.main+xml"),
            ("/word/styles.xml", CT + "wordprocessingml.styles+xml"),
            ("/word/settings.xml", CT + "wordprocessingml.settings+xml"),
            ("/docProps/core.xml", CT_CORE),
            ("/docProps/app.xml", CT_APP),
        ])),
        ("_rels/.rels", package_rels("word/document.xml")),
        ("word/document.xml", document),
        ("word/_rels/document.xml.rels", relationships([
            ("rId1", R + "/styles", "styles.xml"),
            ("rId2", R + "/settings", "settings.xml"),
        ])),
        ("word/styles.xml", styles),
        ("word/settings.xml", settings),
        ("docProps/core.xml", core_props()),
        ("docProps/app.xml", app_props("Microsoft Office Word")),
    ]


def xlsx():
    S = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
    workbook = DECL + (
        f'<workbook xmlns="{S}" xmlns:r="{R}"><bookViews><workbookView/></bookViews>'
        '<sheets><sheet name="Sayfa1" sheetId="1" r:id="rId1"/></sheets></workbook>')
    sheet = DECL + (
        f'<worksheet xmlns="{S}" xmlns:r="{R}"><dimension ref="A1"/>'
        '<sheetViews><sheetView tabSelected="1" workbookViewId="0"/></sheetViews>'
        '<sheetFormatPr defaultRowHeight="15"/><sheetData/>'
        '<pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" footer="0.3"/></worksheet>')
    styles = DECL + (
        f'<styleSheet xmlns="{S}">'
        '<fonts count="1"><font><sz val="11"/><color theme="1"/><name val="Calibri"/><family val="2"/>'
        '<scheme val="minor"/></font></fonts>'
        '<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills>'
        '<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
        '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
        '<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>'
        '<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>'
        '<dxfs count="0"/><tableStyles count="0"/></styleSheet>')
    return [
        ("[Content_Types].xml", content_types([
            ("/xl/workbook.xml", CT + "spreadsheetml.sheet.main+xml"),
            ("/xl/worksheets/sheet1.xml", CT + "spreadsheetml.worksheet+xml"),
            ("/xl/theme/theme1.xml", CT + "theme+xml"),
            ("/xl/styles.xml", CT + "spreadsheetml.styles+xml"),
            ("/docProps/core.xml", CT_CORE),
            ("/docProps/app.xml", CT_APP),
        ])),
        ("_rels/.rels", package_rels("xl/workbook.xml")),
        ("xl/workbook.xml", workbook),
        ("xl/_rels/workbook.xml.rels", relationships([
            ("rId1", R + "/worksheet", "worksheets/sheet1.xml"),
            ("rId2", R + "/theme", "theme/theme1.xml"),
            ("rId3", R + "/styles", "styles.xml"),
        ])),
        ("xl/worksheets/sheet1.xml", sheet),
        ("xl/theme/theme1.xml", theme()),
        ("xl/styles.xml", styles),
        ("docProps/core.xml", core_props()),
        ("docProps/app.xml", app_props("Microsoft Excel")),
    ]


A = "http://schemas.openxmlformats.org/drawingml/2006/main"
P = "http://schemas.openxmlformats.org/presentationml/2006/main"


def theme():
    colors = [("dk2", "44546A"), ("lt2", "E7E6E6"), ("accent1", "4472C4"), ("accent2", "ED7D31"),
              ("accent3", "A5A5A5"), ("accent4", "FFC000"), ("accent5", "5B9BD5"), ("accent6", "70AD47"),
              ("hlink", "0563C1"), ("folHlink", "954F72")]
    scheme = ('<a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1>'
              '<a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1>'
              + "".join(f'<a:{n}><a:srgbClr val="{v}"/></a:{n}>' for n, v in colors))
    solid = '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>'
    line = lambda w: f'<a:ln w="{w}" cap="flat" cmpd="sng" algn="ctr">{solid}<a:prstDash val="solid"/><a:miter lim="800000"/></a:ln>'
    return DECL + (
        f'<a:theme xmlns:a="{A}" name="Office"><a:themeElements>'
        f'<a:clrScheme name="Office">{scheme}</a:clrScheme>'
        '<a:fontScheme name="Office">'
        '<a:majorFont><a:latin typeface="Calibri Light"/><a:ea typeface=""/><a:cs typeface=""/></a:majorFont>'
        '<a:minorFont><a:latin typeface="Calibri"/><a:ea typeface=""/><a:cs typeface=""/></a:minorFont>'
        '</a:fontScheme><a:fmtScheme name="Office">'
        f'<a:fillStyleLst>{solid * 3}</a:fillStyleLst>'
        f'<a:lnStyleLst>{line(6350)}{line(12700)}{line(19050)}</a:lnStyleLst>'
        '<a:effectStyleLst>' + '<a:effectStyle><a:effectLst/></a:effectStyle>' * 3 + '</a:effectStyleLst>'
        f'<a:bgFillStyleLst>{solid * 3}</a:bgFillStyleLst>'
        '</a:fmtScheme></a:themeElements><a:objectDefaults/><a:extraClrSchemeLst/></a:theme>')


def pptx():
    ns = f'xmlns:a="{A}" xmlns:r="{R}" xmlns:p="{P}"'
    empty_tree = ('<p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
                  '<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/>'
                  '<a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr></p:spTree>')
    level = '<a:lvl1pPr><a:defRPr sz="{}"><a:solidFill><a:schemeClr val="tx1"/></a:solidFill><a:latin typeface="+{}-lt"/></a:defRPr></a:lvl1pPr>'
    presentation = DECL + (
        f'<p:presentation {ns} saveSubsetFonts="1">'
        '<p:sldMasterIdLst><p:sldMasterId id="2147483648" r:id="rId1"/></p:sldMasterIdLst>'
        '<p:sldIdLst><p:sldId id="256" r:id="rId2"/></p:sldIdLst>'
        '<p:sldSz cx="12192000" cy="6858000"/><p:notesSz cx="6858000" cy="9144000"/>'
        '<p:defaultTextStyle><a:defPPr><a:defRPr lang="tr-TR"/></a:defPPr></p:defaultTextStyle>'
        '</p:presentation>')
    master = DECL + (
        f'<p:sldMaster {ns}><p:cSld><p:bg><p:bgRef idx="1001"><a:schemeClr val="bg1"/></p:bgRef></p:bg>'
        f'{empty_tree}</p:cSld>'
        '<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3"'
        ' accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"/>'
        '<p:sldLayoutIdLst><p:sldLayoutId id="2147483649" r:id="rId1"/></p:sldLayoutIdLst>'
        '<p:txStyles>'
        f'<p:titleStyle>{level.format(4400, "mj")}</p:titleStyle>'
        f'<p:bodyStyle>{level.format(2800, "mn")}</p:bodyStyle>'
        f'<p:otherStyle>{level.format(1800, "mn")}</p:otherStyle>'
        '</p:txStyles></p:sldMaster>')
    layout = DECL + (
        f'<p:sldLayout {ns} type="blank" preserve="1"><p:cSld name="Boş">{empty_tree}</p:cSld>'
        '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>')
    slide = DECL + (
        f'<p:sld {ns}><p:cSld>{empty_tree}</p:cSld>'
        '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>')
    pres_props = DECL + f'<p:presentationPr {ns}/>'
    view_props = DECL + (
        f'<p:viewPr {ns}><p:normalViewPr><p:restoredLeft sz="15620"/><p:restoredTop sz="94660"/></p:normalViewPr>'
        '<p:gridSpacing cx="72008" cy="72008"/></p:viewPr>')
    table_styles = DECL + f'<a:tblStyleLst xmlns:a="{A}" def="{{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}}"/>'
    return [
        ("[Content_Types].xml", content_types([
            ("/ppt/presentation.xml", CT + "presentationml.presentation.main+xml"),
            ("/ppt/slideMasters/slideMaster1.xml", CT + "presentationml.slideMaster+xml"),
            ("/ppt/slideLayouts/slideLayout1.xml", CT + "presentationml.slideLayout+xml"),
            ("/ppt/slides/slide1.xml", CT + "presentationml.slide+xml"),
            ("/ppt/theme/theme1.xml", CT + "theme+xml"),
            ("/ppt/presProps.xml", CT + "presentationml.presProps+xml"),
            ("/ppt/viewProps.xml", CT + "presentationml.viewProps+xml"),
            ("/ppt/tableStyles.xml", CT + "presentationml.tableStyles+xml"),
            ("/docProps/core.xml", CT_CORE),
            ("/docProps/app.xml", CT_APP),
        ])),
        ("_rels/.rels", package_rels("ppt/presentation.xml")),
        ("ppt/presentation.xml", presentation),
        ("ppt/_rels/presentation.xml.rels", relationships([
            ("rId1", R + "/slideMaster", "slideMasters/slideMaster1.xml"),
            ("rId2", R + "/slide", "slides/slide1.xml"),
            ("rId3", R + "/presProps", "presProps.xml"),
            ("rId4", R + "/viewProps", "viewProps.xml"),
            ("rId5", R + "/theme", "theme/theme1.xml"),
            ("rId6", R + "/tableStyles", "tableStyles.xml"),
        ])),
        ("ppt/slideMasters/slideMaster1.xml", master),
        ("ppt/slideMasters/_rels/slideMaster1.xml.rels", relationships([
            ("rId1", R + "/slideLayout", "../slideLayouts/slideLayout1.xml"),
            ("rId2", R + "/theme", "../theme/theme1.xml"),
        ])),
        ("ppt/slideLayouts/slideLayout1.xml", layout),
        ("ppt/slideLayouts/_rels/slideLayout1.xml.rels", relationships([
            ("rId1", R + "/slideMaster", "../slideMasters/slideMaster1.xml"),
        ])),
        ("ppt/slides/slide1.xml", slide),
        ("ppt/slides/_rels/slide1.xml.rels", relationships([
            ("rId1", R + "/slideLayout", "../slideLayouts/slideLayout1.xml"),
        ])),
        ("ppt/theme/theme1.xml", theme()),
        ("ppt/presProps.xml", pres_props),
        ("ppt/viewProps.xml", view_props),
        ("ppt/tableStyles.xml", table_styles),
        ("docProps/core.xml", core_props()),
        ("docProps/app.xml", app_props("Microsoft Office PowerPoint")),
    ]


def write(path, parts):
    with zipfile.ZipFile(path, "w", compression=zipfile.ZIP_STORED) as archive:
        for name, text in parts:
            info = zipfile.ZipInfo(name, date_time=FIXED_DATE)
            info.create_system = 0
            info.external_attr = 0
            archive.writestr(info, text.encode("utf-8"))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, parts in (("bos.docx", docx()), ("bos.xlsx", xlsx()), ("bos.pptx", pptx())):
        write(out / name, parts)


if __name__ == "__main__":
    main()
