#!/usr/bin/env python3
"""The studio in a real browser (headless chromium driven by selenium), as a publisher uses it.

usage: studio_browser_test.py TBTOOL SOURCE_DIR SCREENSHOT_DIR

On a copy of the sample: add a button with a dropped icon and an address, nest an item under it,
change options, save; the saved source builds and lints clean and holds the changes. A wrong value
shows its finding on its field; one item is edited with the keyboard alone; an unsaved edit survives
a reload; a change on disk is offered, not overwritten; a stopped tool is reported. Then a new
toolbar is made from nothing to a built template, timed. Screenshots go to SCREENSHOT_DIR.
Exit 77 (skipped) only where the browser or its driver is not installed.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import uuid

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(77)

TBTOOL, SOURCE_DIR, SHOTS = sys.argv[1], sys.argv[2], sys.argv[3]
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver")
if not CHROMIUM or not DRIVER:
    print("skipped: chromium or chromedriver is not installed")
    sys.exit(77)
ICON = "/usr/share/icons/Tango/16x16/status/stock_weather-few-clouds.png"


class Studio:
    """A `tbtool studio` process (on its source's own port) and the address it prints."""

    def __init__(self, args, cwd):
        self.proc = subprocess.Popen([TBTOOL, "studio", *args, "--no-open"], cwd=cwd,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.lines = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise SystemExit("the studio ended before it served: " + "".join(self.lines))
            self.lines.append(line)
            if line.startswith("http://127.0.0.1:"):
                self.address = line.strip()
                break

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1400,1000", "--force-device-scale-factor=1"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service(DRIVER), options=options)


class Page:
    def __init__(self, driver):
        self.d = driver

    def wait(self, what, condition, timeout=10):
        """Waits until condition() holds; an element redrawn under it counts as not yet."""
        def holds(_):
            try:
                return condition()
            except (StaleElementReferenceException, AttributeError, IndexError):
                return False
        try:
            return WebDriverWait(self.d, timeout, poll_frequency=0.05).until(holds)
        except Exception:
            self.d.save_screenshot(os.path.join(SHOTS, "failed.png"))
            raise AssertionError("timed out waiting for " + what)

    def css(self, selector):
        return self.d.find_elements(By.CSS_SELECTOR, selector)

    def open(self, address):
        self.d.get(address)
        self.wait("the tree", lambda: self.css("#tree [role=treeitem]"))
        self.wait("the findings", lambda: self.css("#findings li"))

    def tree_item(self, caption):
        """The tree's item of that caption, or None."""
        try:
            for li in self.css("#tree [role=treeitem]"):
                if li.find_element(By.CSS_SELECTOR, ".row > span").text == caption:
                    return li
        except StaleElementReferenceException:
            pass
        return None

    def click_item(self, caption):
        """Clicks an item of the tree, which is redrawn whenever the findings change."""
        for _ in range(20):
            try:
                return self.tree_item(caption).find_element(By.CSS_SELECTOR, ".row").click()
            except (StaleElementReferenceException, AttributeError):
                time.sleep(0.05)
        raise AssertionError("the tree never held still")

    def field(self, key):
        self.wait("the field " + key, lambda: [w for w in self.css(".field") if w.get_attribute("data-key") == key])
        wrap = [w for w in self.css(".field") if w.get_attribute("data-key") == key][0]
        return wrap, wrap.find_element(By.CSS_SELECTOR, "input, select")

    def type_into(self, key, text):
        _, input_ = self.field(key)
        input_.clear()
        input_.send_keys(text)

    def press(self, *keys, held=None):
        """Keys to whatever has the focus, as a keyboard sends them; `held`: a modifier held down."""
        chain = ActionChains(self.d)
        if held:
            chain.key_down(held)
        chain.send_keys(*keys)
        if held:
            chain.key_up(held)
        chain.perform()

    def click(self, id_):
        self.d.find_element(By.ID, id_).click()

    def state(self):
        return self.d.find_element(By.ID, "state").text

    def save(self):
        self.click("save")
        self.wait("the save", lambda: self.state() == "Saved")

    def shot(self, name):
        path = os.path.join(SHOTS, name)
        self.d.save_screenshot(path)
        print("screenshot", path)


def run(*args):
    return subprocess.run([TBTOOL, *args], capture_output=True, text=True)


def find(items, name):
    for item in items:
        if isinstance(item, dict):
            if item.get("name") == name:
                return item
            found = find(item.get("items", []) + item.get("engines", []), name)
            if found:
                return found
    return None


def edit_the_sample(page, folder):
    source = os.path.join(folder, "sample-bar.json")
    studio = Studio([source], folder)
    try:
        page.open(studio.address)
        page.shot("studio-sample.png")

        # A menu opens in the live drawing.
        page.css('.tb-btn[data-name="miLinks"]')[0].click()
        page.wait("the Links menu", lambda: page.css(".tb-menu .tb-mi"))
        captions = [m.text for m in page.css(".tb-menu .tb-mi")]
        assert "Calculator" in captions, captions
        page.shot("studio-menu-open.png")
        Select(page.d.find_element(By.ID, "scale")).select_by_value("2")
        page.css('.tb-btn[data-name="miLinks"]')[0].click()
        page.wait("the Links menu at 200 %", lambda: page.css(".tb-menu .tb-mi"))
        page.shot("studio-menu-open-200.png")
        Select(page.d.find_element(By.ID, "scale")).select_by_value("1")

        # A button with a dropped icon and an address, after Home.
        page.click_item("Home")
        page.click("add-item")
        page.type_into("item:mibutton1/caption", "Weather")
        page.type_into("item:mibutton1/url", "Weather|https://weather.example.com/")
        wrap, _ = page.field("item:mibutton1/icon")
        wrap.find_element(By.CSS_SELECTOR, "input[type=file]").send_keys(ICON)
        page.wait("the dropped icon", lambda: Select(page.field("item:mibutton1/icon")[1]).first_selected_option
                  .get_attribute("value") == "icons/stock_weather-few-clouds.png")
        # A second button nested under the first, which becomes its menu (a split button).
        page.click("add-item")
        page.type_into("item:mibutton2/caption", "Radar")
        page.type_into("item:mibutton2/url", "Radar|https://weather.example.com/radar")
        page.click("nest")
        page.wait("the nested item", lambda: page.tree_item("Radar").get_attribute("aria-level") == "2")
        page.wait("the split button", lambda: page.css('.tb-btn[data-name="miButton1"] .tb-arrow.split'))

        # Options: a class id of its own and a version.
        page.click("tab-options")
        guid = "{" + str(uuid.uuid4()).upper() + "}"
        page.type_into("options/Toolbar GUID", guid)
        page.type_into("options/Version", "1.1")
        page.save()

        saved = json.load(open(source, encoding="utf-8"))
        weather = find(saved["items"], "miButton1")
        assert weather["caption"] == "Weather" and weather["url"] == "Weather|https://weather.example.com/", weather
        assert weather["icon"] == "icons/stock_weather-few-clouds.png", weather
        assert [i["caption"] for i in weather["items"]] == ["Radar"], weather
        assert saved["items"][1] is weather, "the new button follows Home"
        assert saved["options"]["Version"] == "1.1" and saved["options"]["Toolbar GUID"] == guid
        built = run("build", source, os.path.join(folder, "out"))
        assert built.returncode == 0 and built.stderr == "", built.stdout + built.stderr
        lint = run("lint", os.path.join(folder, "out", "SampleBar.tb"), os.path.join(folder, "out", "Icons.bin"))
        assert lint.returncode == 0 and lint.stdout == "", lint.stdout
        assert run("get", os.path.join(folder, "out", "SampleBar.tb"), "\\Options\\Version").stdout == "1.1\n"

        # A wrong value: its finding shows on its field.
        page.type_into("options/About Color", "blue")
        page.wait("the finding on About Color", lambda: page.field("options/About Color")[0]
                  .find_elements(By.CSS_SELECTOR, ".finding.error"))
        finding = page.field("options/About Color")[0].find_element(By.CSS_SELECTOR, ".finding.error").text
        assert "six hexadecimal digits" in finding, finding
        page.shot("studio-lint-finding.png")
        page.type_into("options/About Color", "F0F4FF")
        page.wait("the finding to go", lambda: not page.css(".finding.error"))
        page.save()

        edit_with_the_keyboard(page, source)
        drag_and_drop(page, source)
        nothing_is_lost(page, studio, source)
    finally:
        studio.stop()


def edit_with_the_keyboard(page, source):
    """Select, add, fill in, move and save an item without the mouse."""
    # Start where a keyboard user starts, at the page's first control, and Tab to the tree.
    page.d.execute_script("document.getElementById('save').focus()")
    for _ in range(40):
        if page.d.switch_to.active_element.get_attribute("role") == "treeitem":
            break
        page.press(Keys.TAB)
    else:
        raise AssertionError("Tab never reaches the tree")
    page.press(Keys.HOME)
    page.press(Keys.ARROW_DOWN)  # the Weather button
    page.press(Keys.INSERT)      # a new button after it
    page.press(Keys.ENTER)       # into its first field, the name
    page.press(Keys.TAB)
    focused = page.d.switch_to.active_element.get_attribute("id")
    assert focused == "f-item_mibutton3_caption", focused
    page.press("Keys")
    page.press(Keys.TAB, "Typed|https://example.com/typed")
    page.press(Keys.ESCAPE)      # back to the item in the tree
    page.press(Keys.ARROW_UP, held=Keys.ALT)  # before the Weather button
    page.wait("the move", lambda: page.tree_item("Keys").get_attribute("aria-selected") == "true"
              and page.css("#tree > li")[1].text.startswith("Keys"))
    page.press("s", held=Keys.CONTROL)
    page.wait("the save", lambda: page.state() == "Saved")
    saved = json.load(open(source, encoding="utf-8"))
    assert saved["items"][1] == {"name": "miButton3", "caption": "Keys", "url": "Typed|https://example.com/typed"}, \
        saved["items"][1]
    assert saved["items"][2]["name"] == "miButton1"


def drag(page, caption, onto, where):
    """Drags the tree's item `caption` onto the item `onto`, at its upper third ("before"), middle
    ("into") or lower third ("after"), with the events a mouse drag sends."""
    page.d.execute_script("""
        const [caption, onto, where] = arguments;
        const rowOf = (c) => [...document.querySelectorAll('#tree [role=treeitem] > .row')]
            .find((r) => r.querySelector('span').textContent === c);
        const item = rowOf(caption).parentElement;
        const target = rowOf(onto);
        const box = target.getBoundingClientRect();
        const clientY = box.top + box.height * {before: 0.1, into: 0.5, after: 0.9}[where];
        const dataTransfer = new DataTransfer();
        item.dispatchEvent(new DragEvent('dragstart', {bubbles: true, dataTransfer}));
        target.dispatchEvent(new DragEvent('dragover', {bubbles: true, cancelable: true, dataTransfer, clientY}));
        target.dispatchEvent(new DragEvent('drop', {bubbles: true, cancelable: true, dataTransfer, clientY}));
    """, caption, onto, where)


def drag_and_drop(page, source):
    drag(page, "World", "Links", "into")        # out of News, to the end of Links
    drag(page, "Science", "Home", "before")     # out of News, to the toolbar's start
    drag(page, "Calculator", "Home", "into")    # a button becomes a menu (a split button)
    page.save()
    saved = json.load(open(source, encoding="utf-8"))
    names = lambda items: [i.get("name") if isinstance(i, dict) else i for i in items]
    assert names(saved["items"])[:2] == ["miNewsScience", "miHome"], names(saved["items"])
    assert names(find(saved["items"], "miHome")["items"]) == ["miCalculator"]
    assert names(find(saved["items"], "miNews")["items"]) == []
    assert names(find(saved["items"], "miLinks")["items"])[-1] == "miNewsWorld"
    built = run("build", source, os.path.join(os.path.dirname(source), "out"))
    assert built.returncode == 0, built.stdout + built.stderr


def nothing_is_lost(page, studio, source):
    # An unsaved edit survives a reload.
    page.click_item("Keys")
    page.type_into("item:mibutton3/caption", "Unsaved")
    page.d.refresh()
    page.wait("the tree", lambda: page.css("#tree [role=treeitem]"))
    page.wait("the restored edit", lambda: page.tree_item("Unsaved"))
    assert page.state() == "Unsaved changes"

    # The file changes on disk while that edit is unsaved: the page offers both and writes nothing.
    text = open(source, encoding="utf-8").read().replace('"Keys"', '"Edited elsewhere"')
    with open(source, "w", encoding="utf-8") as f:
        f.write(text)
    page.wait("the offer", lambda: "changed on disk" in page.d.find_element(By.ID, "banner").text)
    assert open(source, encoding="utf-8").read() == text
    page.shot("studio-changed-on-disk.png")
    load = [b for b in page.css("#banner button") if b.text.startswith("Load the file")][0]
    load.click()
    page.wait("the disk's version", lambda: page.tree_item("Edited elsewhere"))
    assert page.state() == "Saved"

    # A save the tool cannot write is reported, and the file keeps what it held.
    page.click_item("Edited elsewhere")
    page.type_into("item:mibutton3/caption", "Not written")
    os.chmod(source, 0o444)
    page.click("save")
    page.wait("the failed save", lambda: "Not saved" in page.d.find_element(By.ID, "banner").text)
    os.chmod(source, 0o644)
    assert open(source, encoding="utf-8").read() == text
    assert page.state() == "Unsaved changes"

    # The tool goes away: the page says so. Started again on the same source, it serves the same
    # address, so the page finds the unsaved edit.
    studio.stop()
    page.wait("the message that the tool is gone",
              lambda: "does not answer" in page.d.find_element(By.ID, "banner").text, timeout=15)
    again = Studio([source], os.path.dirname(source))
    try:
        assert again.address.split("/?")[0] == studio.address.split("/?")[0], (again.address, studio.address)
        page.d.get(again.address)
        page.wait("the edit kept over the restart", lambda: page.tree_item("Not written"))
        assert page.state() == "Unsaved changes"
    finally:
        again.stop()


def new_toolbar_from_nothing(page, folder):
    """A new publisher: `tbtool studio` alone, a name, one button, Build."""
    started = time.monotonic()
    studio = Studio([], folder)
    try:
        page.open(studio.address)
        page.click("tab-options")
        page.type_into("options/Toolbar Name", "Weather Bar")
        page.click("tab-toolbar")
        page.type_into("top/name", "WeatherBar")
        page.click("add-item")
        page.type_into("item:mibutton1/caption", "Forecast")
        page.type_into("item:mibutton1/url", "Forecast|https://weather.example.com/forecast")
        Select(page.field("item:mibutton1/icon")[1]).select_by_value("icons/internet-web-browser.png")
        page.click("build")
        page.wait("the build", lambda: page.d.find_element(By.ID, "output").text.startswith("Built."), timeout=30)
        elapsed = time.monotonic() - started
        out = os.path.join(folder, "MyToolbar", "out")
        lint = run("lint", os.path.join(out, "WeatherBar.tb"), os.path.join(out, "Icons.bin"))
        assert lint.returncode == 0 and lint.stdout == "", lint.stdout
        assert run("get", os.path.join(out, "WeatherBar.tb"), "\\Options\\Toolbar Name").stdout == "Weather Bar\n"
        page.wait("no findings", lambda: page.css("#findings li")[0].text.startswith("No findings"))
        page.shot("studio-new-toolbar-built.png")
        print(f"a new toolbar from nothing to a built template on the page: {elapsed:.1f} s")
    finally:
        studio.stop()


def main():
    os.makedirs(SHOTS, exist_ok=True)
    work = tempfile.mkdtemp(prefix="studio_browser_test_")
    sample = os.path.join(work, "sample")
    shutil.copytree(os.path.join(SOURCE_DIR, "samples", "sample-bar"), sample)
    driver = browser()
    try:
        page = Page(driver)
        edit_the_sample(page, sample)
        fresh = os.path.join(work, "fresh")
        os.makedirs(fresh)
        new_toolbar_from_nothing(page, fresh)
    finally:
        driver.quit()
        shutil.rmtree(work, ignore_errors=True)
    print("studio in the browser: all passed")


if __name__ == "__main__":
    main()
