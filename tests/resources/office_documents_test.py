#!/usr/bin/env python3
"""The starter set's blank Office documents: the committed files are what the generator makes,
they are well-formed packages, and real office readers open them as the right kind of document.

Usage: office_documents_test.py SOURCE_DIR
"""
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile
import xml.etree.ElementTree as ET
from pathlib import Path, PurePosixPath

SOURCE = Path(sys.argv.pop(1) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2])
COMMITTED = SOURCE / "resources" / "Templates"
GENERATOR = SOURCE / "resources" / "make_blank_documents.py"
NAMES = ("bos.docx", "bos.xlsx", "bos.pptx")
REL_NS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
CT_NS = "{http://schemas.openxmlformats.org/package/2006/content-types}"


class Generator(unittest.TestCase):
    def test_committed_documents_are_the_generators_output_byte_for_byte(self):
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            for out in (first, second):
                subprocess.run([sys.executable, str(GENERATOR), out], check=True)
            for name in NAMES:
                made = Path(first, name).read_bytes()
                self.assertEqual(made, Path(second, name).read_bytes(), name)
                self.assertEqual(made, (COMMITTED / name).read_bytes(),
                                 f"{name} differs from the generator's output: regenerate it")


class Packages(unittest.TestCase):
    def test_every_part_is_typed_well_formed_and_every_relationship_resolves(self):
        for name in NAMES:
            with self.subTest(name), zipfile.ZipFile(COMMITTED / name) as archive:
                self.assertIsNone(archive.testzip())
                parts = archive.namelist()
                self.assertEqual(parts[0], "[Content_Types].xml")
                self.assertEqual(parts[1], "_rels/.rels")
                types = ET.fromstring(archive.read(parts[0]))
                overrides = {e.get("PartName") for e in types.iter(CT_NS + "Override")}
                defaults = {e.get("Extension") for e in types.iter(CT_NS + "Default")}
                for part in parts:
                    ET.fromstring(archive.read(part))  # raises on malformed XML
                    typed = "/" + part in overrides or part.rsplit(".", 1)[-1] in defaults
                    self.assertTrue(typed, f"{part} has no content type")
                    if part in ("[Content_Types].xml",) or part.endswith(".rels"):
                        continue
                    self.assertIn("/" + part, overrides, f"{part} is typed only by default")
                for rels in (p for p in parts if p.endswith(".rels")):
                    source_dir = PurePosixPath(rels).parent.parent
                    for rel in ET.fromstring(archive.read(rels)).iter(REL_NS + "Relationship"):
                        target = os.path.normpath(str(source_dir / rel.get("Target")))
                        self.assertIn(target, parts, f"{rels} points at missing {target}")


class Readers(unittest.TestCase):
    def test_python_readers_open_them_as_blank_documents(self):
        import docx
        import openpyxl
        document = docx.Document(str(COMMITTED / "bos.docx"))
        self.assertEqual([p.text for p in document.paragraphs], [""])
        workbook = openpyxl.load_workbook(str(COMMITTED / "bos.xlsx"))
        self.assertEqual(workbook.sheetnames, ["Sayfa1"])
        self.assertIsNone(workbook.active["A1"].value)

    def test_libreoffice_opens_each_as_its_own_kind_and_exports_it(self):
        expected_filter = {"bos.docx": "writer_pdf_Export", "bos.xlsx": "calc_pdf_Export",
                           "bos.pptx": "impress_pdf_Export"}
        with tempfile.TemporaryDirectory() as work:
            for name in NAMES:
                out = Path(work, name.replace(".", "_"))
                result = subprocess.run(
                    ["soffice", f"-env:UserInstallation=file://{work}/profile", "--headless",
                     "--convert-to", "pdf", "--outdir", str(out), str(COMMITTED / name)],
                    capture_output=True, text=True, timeout=180)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn(expected_filter[name], result.stdout, result.stdout + result.stderr)
                pdf = out / "bos.pdf"
                self.assertTrue(pdf.exists(), result.stdout + result.stderr)
                self.assertTrue(pdf.read_bytes().startswith(b"%PDF"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
