// The toolbar studio's page: edits the source the tool serves, draws the toolbar from it, shows the
// findings of the tool's checks beside their fields, and saves, builds, pictures and signs through
// the tool. Every form comes from the source's JSON Schema, so a field added there appears here.
'use strict';

const token = new URLSearchParams(location.search).get('t') || '';
const $ = (id) => document.getElementById(id);

const state = {
  schema: null,
  doc: null,          // the source as the page holds it
  file: '',
  version: '',        // the version of the file on disk the page's edits start from
  icons: [],
  dirty: false,
  selected: null,     // path of the selected entry: [['items', 2], ['items', 0]]
  tab: 'item',
  findings: [],
  buildError: null,
  sections: {},
  conflictSeen: '',
  toolGone: false,
  saving: 0,          // saves under way
  polling: false,
};

// ---- talking to the tool --------------------------------------------------------------------

async function call(method, path, body, contentType) {
  const headers = { 'X-Studio-Token': token };
  if (body !== undefined) headers['Content-Type'] = contentType || 'application/json';
  let res;
  try {
    res = await fetch(path, { method, headers, body: body === undefined ? undefined
      : (contentType ? body : JSON.stringify(body)), cache: 'no-store' });
  } catch (e) {
    toolGone(true);
    throw new Error('the studio\'s tool does not answer');
  }
  toolGone(false);
  let data = null;
  try { data = await res.json(); } catch (e) { data = { error: res.status + ' ' + res.statusText }; }
  return { status: res.status, ok: res.ok, data };
}

function toolGone(gone) {
  if (gone === state.toolGone) return;
  state.toolGone = gone;
  if (gone) {
    showBanner('The studio\'s tool does not answer: it may have been stopped. Your edits are kept in this ' +
      'browser: start `tbtool studio` again on the same source and open the address it prints to get them back.', [], true);
  } else {
    hideBanner();
  }
}

// ---- the source model ------------------------------------------------------------------------

const kindOf = (e) => e === '-' || (e && e.type === 'separator') ? 'separator'
  : e.type === 'search' ? 'search' : e.type === 'submenu' || Array.isArray(e.items) ? 'submenu' : 'item';
const childKey = (e) => kindOf(e) === 'search' ? 'engines' : kindOf(e) === 'submenu' ? 'items' : null;
const samePath = (a, b) => !!a && !!b && JSON.stringify(a) === JSON.stringify(b);

function listOf(parentPath) {
  if (parentPath.length === 0) {
    if (!Array.isArray(state.doc.items)) state.doc.items = [];
    return state.doc.items;
  }
  const parent = entryAt(parentPath);
  const key = childKey(parent);
  if (!Array.isArray(parent[key])) parent[key] = [];
  return parent[key];
}

function entryAt(path) {
  let list = state.doc.items || [];
  let entry = null;
  for (const [key, index] of path) {
    if (entry) list = entry[key] || [];
    entry = list[index];
  }
  return entry;
}

const parentOf = (path) => path.slice(0, -1);
const indexOf = (path) => path[path.length - 1][1];

function allEntries() {
  const out = [];
  const walk = (list, parentPath, key) => (list || []).forEach((e, i) => {
    const path = parentPath.concat([[key, i]]);
    out.push({ entry: e, path });
    const ck = e !== '-' && childKey(e);
    if (ck) walk(e[ck], path, ck);
  });
  walk(state.doc.items, [], 'items');
  return out;
}

function uniqueName(stem) {
  const taken = new Set(allEntries().map((x) => (x.entry.name || '').toLowerCase()));
  for (let n = 1; ; n++) if (!taken.has((stem + n).toLowerCase())) return stem + n;
}

function changed(structure) {
  state.dirty = true;
  saveDraft();
  if (structure) renderTree();
  drawToolbar();
  showState();
  scheduleCheck();
}

// ---- the tree ---------------------------------------------------------------------------------

function entryLabel(e) {
  const kind = kindOf(e);
  if (kind === 'separator') return '— separator —';
  return e.caption || e.name || '(no caption)';
}

function iconUrl(file) { return '/api/icon?t=' + encodeURIComponent(token) + '&name=' + encodeURIComponent(file); }

function renderTree() {
  const tree = $('tree');
  // A redraw (after a check, say) keeps the keyboard where it was.
  const hadFocus = tree.contains(document.activeElement);
  tree.textContent = '';
  const marks = findingsByEntry();
  const build = (list, parentPath, key, ul, level) => (list || []).forEach((e, i) => {
    const path = parentPath.concat([[key, i]]);
    const li = document.createElement('li');
    li.setAttribute('role', 'treeitem');
    li.setAttribute('aria-level', level);
    li.dataset.path = JSON.stringify(path);
    const selected = samePath(path, state.selected);
    li.setAttribute('aria-selected', selected ? 'true' : 'false');
    li.tabIndex = selected || (!state.selected && level === 1 && i === 0) ? 0 : -1;
    const row = document.createElement('div');
    row.className = 'row';
    if (e !== '-' && e.icon) {
      const img = document.createElement('img');
      img.src = iconUrl(e.icon);
      img.alt = '';
      row.append(img);
    }
    const label = document.createElement('span');
    label.textContent = entryLabel(e);
    row.append(label);
    const kind = document.createElement('span');
    kind.className = 'kind';
    kind.textContent = key === 'engines' ? 'engine' : kindOf(e);
    row.append(kind);
    const name = e !== '-' && e.name ? e.name.toLowerCase() : '';
    if (name && marks[name]) {
      const mark = document.createElement('span');
      mark.className = 'mark';
      mark.textContent = '!';
      mark.title = marks[name];
      row.append(mark);
    }
    li.append(row);
    li.draggable = true;
    li.addEventListener('dragstart', (ev) => {
      ev.stopPropagation();
      ev.dataTransfer.setData('application/x-tb-path', li.dataset.path);
      ev.dataTransfer.effectAllowed = 'move';
    });
    row.addEventListener('dragover', (ev) => { ev.preventDefault(); markDrop(row, dropPlace(ev, row, e)); });
    row.addEventListener('dragleave', () => markDrop(row, null));
    row.addEventListener('drop', (ev) => {
      ev.preventDefault();
      ev.stopPropagation();
      markDrop(row, null);
      const from = ev.dataTransfer.getData('application/x-tb-path');
      if (from) moveEntry(JSON.parse(from), path, dropPlace(ev, row, e));
    });
    row.addEventListener('click', () => select(path, true));
    ul.append(li);
    const ck = e !== '-' && childKey(e);
    if (ck) {
      li.setAttribute('aria-expanded', 'true');
      const sub = document.createElement('ul');
      sub.setAttribute('role', 'group');
      li.append(sub);
      build(e[ck], path, ck, sub, level + 1);
    }
  });
  build(state.doc.items, [], 'items', tree, 1);
  if (hadFocus) focusSelected();
}

function dropPlace(ev, row, entry) {
  const box = row.getBoundingClientRect();
  const y = (ev.clientY - box.top) / box.height;
  if (y < 1 / 3) return 'before';
  if (y > 2 / 3) return 'after';
  return kindOf(entry) === 'separator' ? 'after' : 'into';
}

function markDrop(row, place) {
  row.classList.remove('drop-before', 'drop-after', 'drop-into');
  if (place) row.classList.add('drop-' + place);
}

function focusSelected() {
  const li = [...$('tree').querySelectorAll('[role=treeitem]')].find((x) => samePath(JSON.parse(x.dataset.path), state.selected));
  if (li) li.focus();
}

function select(path, focusTree) {
  state.selected = path;
  renderTree();
  if (state.tab !== 'item') state.tab = 'item';
  renderForm();
  drawToolbar();
  if (focusTree) focusSelected();
}

// Moves the entry at `from` before, after or into the entry at `to`.
function moveEntry(from, to, place) {
  if (samePath(from, to)) return;
  if (to.length > from.length && samePath(to.slice(0, from.length), from)) return;  // not into itself
  const target = entryAt(to);
  const entry = entryAt(from);
  // Mark the target so it can be found again once the entry has left its list.
  const marker = {};
  const fromList = listOf(parentOf(from));
  fromList.splice(indexOf(from), 1, marker);
  const pathOfEntry = (x) => allEntries().find((y) => y.entry === x).path;
  if (place === 'into') {
    if (kindOf(target) === 'item') target.items = [];
    listOf(pathOfEntry(target)).push(entry);
  } else {
    const tpath = pathOfEntry(target);
    const list = listOf(parentOf(tpath));
    const at = indexOf(tpath) + (place === 'after' ? 1 : 0);
    list.splice(at, 0, entry);
  }
  const holder = allEntries().find((y) => y.entry === marker);
  listOf(parentOf(holder.path)).splice(indexOf(holder.path), 1);
  state.selected = pathOfEntryObject(entry);
  changed(true);
  renderForm();
  focusSelected();
}

function pathOfEntryObject(entry) {
  const found = allEntries().find((y) => y.entry === entry);
  return found ? found.path : null;
}

function addEntry(kind) {
  let entry;
  if (kind === 'separator') entry = '-';
  else if (kind === 'menu') entry = { name: uniqueName('miMenu'), caption: 'New menu', items: [] };
  else if (kind === 'search') {
    entry = { type: 'search', caption: 'Search', engines: [
      { name: uniqueName('miEngine'), caption: 'Web', url: 'https://www.example.com/search?q=[SEARCH]' }] };
  } else entry = { name: uniqueName('miButton'), caption: 'New button', url: '' };
  let list;
  let at;
  if (state.selected && entryAt(state.selected) !== undefined) {
    list = listOf(parentOf(state.selected));
    at = indexOf(state.selected) + 1;
  } else {
    list = listOf([]);
    at = list.length;
  }
  list.splice(at, 0, entry);
  state.selected = pathOfEntryObject(entry) || [['items', at]];
  state.tab = 'item';
  changed(true);
  renderForm();
  focusSelected();
}

function removeSelected() {
  if (!state.selected) return;
  const list = listOf(parentOf(state.selected));
  const i = indexOf(state.selected);
  list.splice(i, 1);
  if (list.length > 0) state.selected = parentOf(state.selected).concat([[state.selected[state.selected.length - 1][0], Math.min(i, list.length - 1)]]);
  else state.selected = parentOf(state.selected).length ? parentOf(state.selected) : null;
  changed(true);
  renderForm();
  focusSelected();
}

function moveSelected(delta) {
  if (!state.selected) return;
  const list = listOf(parentOf(state.selected));
  const i = indexOf(state.selected);
  const j = i + delta;
  if (j < 0 || j >= list.length) return;
  const [entry] = list.splice(i, 1);
  list.splice(j, 0, entry);
  state.selected = pathOfEntryObject(entry);
  changed(true);
  focusSelected();
}

// Into the entry above it (which becomes a menu when it was a button).
function nestSelected() {
  if (!state.selected || indexOf(state.selected) === 0) return;
  const list = listOf(parentOf(state.selected));
  const above = list[indexOf(state.selected) - 1];
  if (kindOf(above) === 'separator') return;
  const abovePath = parentOf(state.selected).concat([[state.selected[state.selected.length - 1][0], indexOf(state.selected) - 1]]);
  moveEntry(state.selected, abovePath, 'into');
}

function unnestSelected() {
  if (!state.selected || state.selected.length < 2) return;
  moveEntry(state.selected, parentOf(state.selected), 'after');
}

function treeKeys(ev) {
  const items = [...$('tree').querySelectorAll('[role=treeitem]')];
  const paths = items.map((x) => JSON.parse(x.dataset.path));
  const at = paths.findIndex((p) => samePath(p, state.selected));
  const go = (i) => { if (i >= 0 && i < paths.length) select(paths[i], true); };
  const keys = {
    ArrowDown: () => (ev.altKey ? moveSelected(1) : go(at + 1)),
    ArrowUp: () => (ev.altKey ? moveSelected(-1) : go(at < 0 ? 0 : at - 1)),
    ArrowRight: () => ev.altKey && nestSelected(),
    ArrowLeft: () => ev.altKey && unnestSelected(),
    Home: () => go(0),
    End: () => go(paths.length - 1),
    Delete: () => removeSelected(),
    Insert: () => addEntry('item'),
    Enter: () => { const f = $('form').querySelector('input, select'); if (f) f.focus(); },
  };
  if (keys[ev.key]) {
    ev.preventDefault();
    keys[ev.key]();
  }
}

// ---- forms from the schema ---------------------------------------------------------------------

function schemaFor(entry, path) {
  const defs = state.schema.$defs;
  if (path && path[path.length - 1][0] === 'engines') return defs.engine;
  const kind = kindOf(entry);
  return defs[kind === 'separator' ? 'separator' : kind] || defs.item;
}

const defaultText = (p) => p.default === '' ? 'empty' : p.default !== undefined ? JSON.stringify(p.default) : p['x-default'] || '';

// One field: label, type, description, its input, and room for findings. `get` and `set` reach the
// value in the source; undefined means the field is absent, so it takes its default.
function field(key, name, prop, get, set) {
  const wrap = document.createElement('div');
  wrap.className = 'field';
  wrap.dataset.key = key;
  const id = 'f-' + key.replace(/[^A-Za-z0-9]/g, '_');
  const label = document.createElement('label');
  label.htmlFor = id;
  label.textContent = name;
  const type = document.createElement('span');
  type.className = 'type';
  const def = defaultText(prop);
  type.textContent = (prop.type || 'value') + (def ? ' · default ' + def : '');
  label.append(type);
  wrap.append(label);
  let input;
  const value = get();
  if (prop.type === 'boolean') {
    input = document.createElement('select');
    for (const [v, t] of [['', '(default)'], ['true', 'true'], ['false', 'false']]) {
      const o = document.createElement('option');
      o.value = v;
      o.textContent = t;
      input.append(o);
    }
    input.value = value === undefined ? '' : String(value);
    input.addEventListener('change', () => set(input.value === '' ? undefined : input.value === 'true'));
  } else if (name === 'icon' || name === 'logo') {
    input = iconPicker(id, value, set, wrap);
  } else {
    input = document.createElement('input');
    if (prop.type === 'integer') {
      input.type = 'number';
      if (prop.minimum !== undefined) input.min = prop.minimum;
      if (prop.maximum !== undefined) input.max = prop.maximum;
    } else input.type = 'text';
    input.value = value === undefined ? '' : String(value);
    if (def && def !== 'empty') input.placeholder = def;
    input.addEventListener('input', () => {
      if (input.value === '') return set(undefined);
      if (prop.type === 'integer') {
        const n = Number(input.value);
        return set(Number.isInteger(n) ? n : input.value);
      }
      set(input.value);
    });
  }
  if (!input.id) input.id = id;
  const desc = document.createElement('div');
  desc.className = 'desc';
  desc.id = id + '-desc';
  desc.textContent = prop.description || '';
  input.setAttribute('aria-describedby', desc.id);
  if (!wrap.contains(input)) wrap.append(input);
  wrap.append(desc);
  return wrap;
}

function iconPicker(id, value, set, wrap) {
  const box = document.createElement('div');
  box.className = 'icon-pick';
  const select = document.createElement('select');
  select.id = id;
  const none = document.createElement('option');
  none.value = '';
  none.textContent = '(no image)';
  select.append(none);
  const names = new Set(state.icons);
  if (value) names.add(value);
  for (const n of [...names].sort()) {
    const o = document.createElement('option');
    o.value = n;
    o.textContent = n;
    select.append(o);
  }
  select.value = value || '';
  const img = document.createElement('img');
  img.alt = '';
  const show = () => { img.hidden = !select.value; if (select.value) img.src = iconUrl(select.value); };
  show();
  select.addEventListener('change', () => { show(); set(select.value || undefined); });
  box.append(select, img);
  wrap.append(box);
  const zone = document.createElement('div');
  zone.className = 'drop-zone';
  zone.textContent = 'Drop a PNG here, or ';
  const pick = document.createElement('input');
  pick.type = 'file';
  pick.accept = 'image/png';
  pick.setAttribute('aria-label', 'Add a PNG file as an icon');
  zone.append(pick);
  const take = async (file) => {
    if (!file) return;
    const r = await call('POST', '/api/icon?name=' + encodeURIComponent(file.name), file, 'image/png').catch(() => null);
    if (!r) return;
    if (!r.ok) { showBanner('The icon was not added: ' + r.data.error, [], true); return; }
    if (!state.icons.includes(r.data.icon)) state.icons.push(r.data.icon);
    const o = document.createElement('option');
    o.value = o.textContent = r.data.icon;
    if (![...select.options].some((x) => x.value === r.data.icon)) select.append(o);
    select.value = r.data.icon;
    show();
    set(r.data.icon);
    const size = state.doc.icon_size || 16;
    if (r.data.width !== size || r.data.height !== size) {
      showBanner(`${r.data.icon} is ${r.data.width}x${r.data.height} pixels; the toolbar draws it at ${size}x${size}.`, []);
    }
  };
  pick.addEventListener('change', () => take(pick.files[0]));
  zone.addEventListener('dragover', (ev) => { ev.preventDefault(); zone.classList.add('over'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (ev) => { ev.preventDefault(); zone.classList.remove('over'); take(ev.dataTransfer.files[0]); });
  wrap.append(zone);
  return select;
}

const kHiddenItemFields = new Set(['type', 'items', 'engines', 'keys']);

function renderForm() {
  const form = $('form');
  form.textContent = '';
  for (const t of ['item', 'toolbar', 'options', 'strings']) $('tab-' + t).setAttribute('aria-selected', String(state.tab === t));
  const props = state.schema.properties;
  if (state.tab === 'item') {
    const entry = state.selected ? entryAt(state.selected) : undefined;
    if (entry === undefined) {
      form.textContent = 'Select an item in the tree, or add one.';
      return;
    }
    if (entry === '-') {
      form.textContent = 'A separator: a line between items. Nothing to fill in.';
      return;
    }
    const key = (entry.name || '').toLowerCase();
    const itemSchema = schemaFor(entry, state.selected);
    for (const [name, prop] of Object.entries(itemSchema.properties)) {
      if (kHiddenItemFields.has(name)) continue;
      form.append(field('item:' + key + '/' + name, name, prop, () => entry[name], (v) => {
        if (v === undefined) delete entry[name]; else entry[name] = v;
        changed(name === 'caption' || name === 'icon' || name === 'name');
        if (name === 'name') renderForm();
      }));
    }
  } else if (state.tab === 'toolbar') {
    for (const name of ['name', 'icon_size', 'logo']) {
      form.append(field('top/' + name, name, props[name], () => state.doc[name], (v) => {
        if (v === undefined) delete state.doc[name]; else state.doc[name] = v;
        changed(false);
      }));
    }
  } else {
    const section = state.tab;
    for (const [name, prop] of Object.entries(props[section].properties)) {
      form.append(field(section + '/' + name, name, prop, () => (state.doc[section] || {})[name], (v) => {
        state.doc[section] = state.doc[section] || {};
        if (v === undefined) delete state.doc[section][name]; else state.doc[section][name] = v;
        changed(false);
      }));
    }
  }
  showFieldFindings();
}

function showTab(tab) {
  state.tab = tab;
  renderForm();
}

// ---- findings ---------------------------------------------------------------------------------

const kKeyFields = { url: 'url', caption: 'caption', visible: 'visible', enabled: 'enabled', tag: 'tag', name: 'name',
  imageindex: 'icon', groupindex: 'group' };

// Where a finding belongs: a field key of the forms ("options/Version", "item:mihome/url"), or ''.
function fieldOfFinding(path) {
  const m = /^\\([^\\]+)\\(.*)$/.exec(path);
  if (!m) return '';
  const section = m[1].toLowerCase();
  if (section === 'options') return 'options/' + m[2];
  if (section === 'strings') return 'strings/' + m[2];
  let name = m[1];
  for (const [s, n] of Object.entries(state.sections)) if (s.toLowerCase() === section) name = n;
  if (section === 'misearch') {
    const search = allEntries().find((x) => kindOf(x.entry) === 'search');
    if (search) name = search.entry.name || 'miSearch';
  }
  return 'item:' + name.toLowerCase() + '/' + (kKeyFields[m[2].toLowerCase()] || m[2]);
}

// A build error names its place: "items[3].items[0].url: ...", "options.Version: ...".
function fieldOfError(message) {
  const m = /^((?:items|options|strings|name|icon_size|logo|keys)[^:\s]*): /.exec(message);
  if (!m) return '';
  const place = m[1];
  const top = /^(options|strings)\.(.+)$/.exec(place);
  if (top) return top[1] + '/' + top[2];
  if (/^(name|icon_size|logo)$/.test(place)) return 'top/' + place;
  const steps = [...place.matchAll(/(items|engines)\[(\d+)\]/g)].map((x) => [x[1], Number(x[2])]);
  const entry = steps.length && entryAt(steps);
  if (!entry || entry === '-') return '';
  const last = /\]\.([a-z_]+)$/.exec(place);
  return 'item:' + (entry.name || '').toLowerCase() + '/' + (last ? last[1] : 'name');
}

function allFindings() {
  const list = state.findings.map((f) => ({ error: f.error, text: f.path + ': ' + f.reason, key: fieldOfFinding(f.path) }));
  if (state.buildError) list.unshift({ error: true, text: state.buildError, key: fieldOfError(state.buildError) });
  return list;
}

function findingsByEntry() {
  const out = {};
  for (const f of allFindings()) {
    const m = /^item:([^/]*)\//.exec(f.key);
    if (m) out[m[1]] = f.text;
  }
  return out;
}

function showFindings() {
  const ul = $('findings');
  ul.textContent = '';
  const list = allFindings();
  if (list.length === 0) {
    const li = document.createElement('li');
    li.textContent = 'No findings: the toolbar builds and lints clean.';
    ul.append(li);
  }
  for (const f of list) {
    const li = document.createElement('li');
    const b = document.createElement('button');
    b.className = f.error ? 'error' : 'warning';
    b.textContent = (f.error ? 'error: ' : 'warning: ') + f.text;
    b.addEventListener('click', () => goToField(f.key));
    li.append(b);
    ul.append(li);
  }
  showFieldFindings();
  renderTree();
}

function goToField(key) {
  if (!key) return;
  const m = /^(item:([^/]*)|options|strings|top)\//.exec(key);
  if (!m) return;
  if (m[2] !== undefined) {
    const found = allEntries().find((x) => x.entry !== '-' && (x.entry.name || '').toLowerCase() === m[2]);
    if (found) { state.selected = found.path; state.tab = 'item'; renderTree(); }
  } else state.tab = m[1] === 'top' ? 'toolbar' : m[1];
  renderForm();
  const wrap = [...$('form').querySelectorAll('.field')].find((w) => w.dataset.key === key);
  const input = wrap && wrap.querySelector('input, select');
  if (input) { input.focus(); input.scrollIntoView({ block: 'center' }); }
}

function showFieldFindings() {
  const byKey = {};
  for (const f of allFindings()) (byKey[f.key] = byKey[f.key] || []).push(f);
  for (const wrap of $('form').querySelectorAll('.field')) {
    wrap.querySelectorAll('.finding').forEach((x) => x.remove());
    const list = byKey[wrap.dataset.key] || [];
    wrap.classList.toggle('has-error', list.some((f) => f.error));
    for (const f of list) {
      const p = document.createElement('div');
      p.className = 'finding' + (f.error ? ' error' : '');
      p.setAttribute('role', 'note');
      p.textContent = (f.error ? 'error: ' : 'warning: ') + f.text;
      wrap.append(p);
    }
  }
}

let checkTimer = null;
let checkRun = 0;
function scheduleCheck() {
  clearTimeout(checkTimer);
  checkTimer = setTimeout(check, 300);
}

async function check() {
  const run = ++checkRun;
  const r = await call('POST', '/api/check', { source: state.doc }).catch(() => null);
  if (!r || run !== checkRun) return;
  if (!r.ok) return;
  state.findings = r.data.findings;
  state.buildError = r.data.error;
  state.sections = r.data.sections || {};
  showFindings();
}

// ---- the live toolbar -------------------------------------------------------------------------

function iconImg(file, size) {
  const img = document.createElement('img');
  img.src = iconUrl(file);
  img.alt = '';
  img.width = img.height = size;
  return img;
}

function closeMenus() {
  document.querySelectorAll('.tb-menu').forEach((m) => m.remove());
  document.querySelectorAll('.tb-btn.open, .tb-mi.open').forEach((m) => m.classList.remove('open'));
}

function openMenu(list, anchor, side, path, key) {
  const menu = document.createElement('div');
  menu.className = 'tb-menu';
  menu.setAttribute('role', 'menu');
  const size = state.doc.icon_size || 16;
  (list || []).forEach((e, i) => {
    if (e !== '-' && e.visible === false) return;
    const epath = path.concat([[key, i]]);
    if (kindOf(e) === 'separator') {
      const s = document.createElement('div');
      s.className = 'tb-msep';
      menu.append(s);
      return;
    }
    const mi = document.createElement('div');
    mi.className = 'tb-mi';
    mi.setAttribute('role', 'menuitem');
    const ico = document.createElement('span');
    ico.className = 'ico';
    if (e.icon) ico.append(iconImg(e.icon, 16));
    mi.append(ico, captionNode(e.caption || ''));
    if (childKey(e)) {
      const sub = document.createElement('span');
      sub.className = 'sub';
      sub.textContent = '▶';
      mi.append(sub);
      mi.addEventListener('mouseenter', () => {
        menu.querySelectorAll('.tb-mi.open').forEach((x) => x.classList.remove('open'));
        document.querySelectorAll('.tb-menu').forEach((m) => { if (Number(m.dataset.depth) > Number(menu.dataset.depth)) m.remove(); });
        mi.classList.add('open');
        openMenu(e[childKey(e)], mi, 'right', epath, childKey(e));
      });
    }
    mi.addEventListener('click', (ev) => { ev.stopPropagation(); select(epath, false); });
    menu.append(mi);
  });
  if (!menu.childElementCount) {
    const empty = document.createElement('div');
    empty.className = 'tb-mi';
    empty.textContent = '(empty)';
    menu.append(empty);
  }
  menu.dataset.depth = side === 'right' ? String(Number((anchor.closest('.tb-menu') || { dataset: { depth: 0 } }).dataset.depth) + 1) : '0';
  // The menu lies over the page, as a popup menu lies over the browser, not clipped by the frame.
  document.body.append(menu);
  const ab = anchor.getBoundingClientRect();
  const scale = Number($('scale').value);
  const left = (side === 'right' ? ab.right : ab.left) + window.scrollX;
  const top = (side === 'right' ? ab.top - 3 : ab.bottom) + window.scrollY;
  menu.style.zoom = String(scale);
  menu.style.left = (left / scale) + 'px';
  menu.style.top = (top / scale) + 'px';
  return menu;
}

// A caption as the toolbar shows it: "&" marks the access key (underlined), "&&" is an "&".
function captionNode(text) {
  const span = document.createElement('span');
  const parts = String(text).split('&&');
  parts.forEach((part, i) => {
    if (i > 0) span.append('&');
    const at = part.indexOf('&');
    if (at < 0 || at === part.length - 1) { span.append(part.replace(/&$/, '')); return; }
    span.append(part.slice(0, at));
    const u = document.createElement('u');
    u.textContent = part[at + 1];
    span.append(u, part.slice(at + 2).replace(/&/g, ''));
  });
  return span;
}

// A button of the toolbar. `arrow`: none, 'drop' (a menu button's small arrow) or 'split' (the
// chevron of a button whose arrow opens a menu of its own).
function button(e, path, arrow) {
  const b = document.createElement('div');
  b.className = 'tb-btn' + (e.enabled === false ? ' disabled' : '') + (path && samePath(path, state.selected) ? ' selected' : '');
  b.setAttribute('role', 'button');
  const size = state.doc.icon_size || 16;
  if (e.icon) b.append(iconImg(e.icon, size));
  if (e.caption) b.append(captionNode(e.caption));
  if (arrow) {
    const a = document.createElement('span');
    a.className = 'tb-arrow ' + arrow;
    a.textContent = arrow === 'drop' ? '▼' : '⌄';
    b.append(a);
  }
  return b;
}

function menuButton(b, list, path, key) {
  b.addEventListener('click', (ev) => {
    ev.stopPropagation();
    if (path) select(path, false);
    const again = b.dataset.name && document.querySelector(`#preview [data-name="${CSS.escape(b.dataset.name)}"]`);
    const anchor = again || b;
    closeMenus();
    anchor.classList.add('open');
    openMenu(list, anchor, 'below', path || [], key);
  });
}

// The toolbar as the toolbar window lays it out: the logo (the main menu's button), the search
// box, then the items in their order; the search item shows its first engine.
function drawToolbar() {
  const bar = $('preview');
  closeMenus();
  bar.textContent = '';
  bar.style.zoom = $('scale').value;
  const options = state.doc.options || {};
  const entries = allEntries();
  if (state.doc.logo) {
    const logo = document.createElement('div');
    logo.className = 'tb-btn tb-logo';
    logo.dataset.name = ':logo';
    logo.setAttribute('role', 'button');
    logo.setAttribute('aria-label', 'the main menu');
    const img = document.createElement('img');
    img.src = iconUrl(state.doc.logo);
    img.alt = '';
    img.addEventListener('error', () => img.remove());
    logo.append(img);
    const main = entries.find((x) => x.entry !== '-' && (x.entry.name || '').toLowerCase() === String(options['Main Menu'] || '').toLowerCase());
    if (main && childKey(main.entry)) menuButton(logo, main.entry[childKey(main.entry)], main.path, childKey(main.entry));
    bar.append(logo);
  }
  const search = (state.doc.items || []).find((e) => kindOf(e) === 'search' && e.visible !== false);
  if (search && options['Hide Search Box'] !== true) {
    const edit = document.createElement('div');
    edit.className = 'tb-edit';
    edit.style.width = (Number(options['Search Width']) || 150) + 'px';
    const drop = document.createElement('span');
    drop.className = 'tb-combo-arrow';
    drop.textContent = '▼';
    edit.append(drop);
    bar.append(edit);
  }
  (state.doc.items || []).forEach((e, i) => {
    const path = [['items', i]];
    if (e !== '-' && e.visible === false) return;
    const kind = kindOf(e);
    if (kind === 'separator') {
      const s = document.createElement('div');
      s.className = 'tb-sep';
      bar.append(s);
      return;
    }
    if (kind === 'search') {
      const engine = (e.engines || []).find((x) => x !== '-' && x.visible !== false) || e;
      const b = button({ caption: engine.caption, icon: engine.icon || e.icon, enabled: e.enabled }, path, 'split');
      b.dataset.name = e.name || 'miSearch';
      menuButton(b, e.engines, path, 'engines');
      bar.append(b);
      return;
    }
    const b = button(e, path, kind === 'submenu' ? (e.url ? 'split' : 'drop') : null);
    b.dataset.name = e.name || '';
    if (kind === 'submenu') menuButton(b, e.items, path, 'items');
    else b.addEventListener('click', (ev) => { ev.stopPropagation(); select(path, false); });
    bar.append(b);
  });
}

// ---- saving, the disk, drafts -----------------------------------------------------------------

const draftKey = () => 'tbstudio:' + state.file;

function saveDraft() {
  try {
    localStorage.setItem(draftKey(), JSON.stringify({ base: state.version, doc: state.doc }));
  } catch (e) { /* a full storage leaves the draft as it was */ }
}

function readDraft() {
  try { return JSON.parse(localStorage.getItem(draftKey()) || 'null'); } catch (e) { return null; }
}

function showState() {
  $('state').textContent = state.dirty ? 'Unsaved changes' : 'Saved';
  document.title = (state.dirty ? '* ' : '') + 'Toolbar studio';
}

function showBanner(text, choices, error) {
  const b = $('banner');
  b.textContent = '';
  b.className = error ? 'error' : '';
  const p = document.createElement('span');
  p.textContent = text;
  b.append(p);
  for (const [label, act] of choices || []) {
    const btn = document.createElement('button');
    btn.textContent = label;
    btn.addEventListener('click', () => { hideBanner(); act(); });
    b.append(btn);
  }
  const close = document.createElement('button');
  close.textContent = 'Dismiss';
  close.setAttribute('aria-label', 'Dismiss this message');
  close.addEventListener('click', hideBanner);
  if (!choices || choices.length === 0) b.append(close);
  // The message is announced (role "alert"); the focus stays where the publisher is typing.
  b.hidden = false;
}

function hideBanner() { $('banner').hidden = true; }

function takeDisk(text, version) {
  let doc;
  try { doc = JSON.parse(text); } catch (e) {
    showBanner('The source on disk is not valid JSON (' + e.message + '); fix it in an editor, then reload.', [], true);
    return false;
  }
  state.doc = doc;
  state.version = version;
  state.dirty = false;
  if (state.selected && entryAt(state.selected) === undefined) state.selected = null;
  localStorage.removeItem(draftKey());
  renderAll();
  return true;
}

function renderAll() {
  renderTree();
  renderForm();
  drawToolbar();
  showState();
  scheduleCheck();
}

async function save(overwriteVersion) {
  state.saving++;
  const r = await call('POST', '/api/save', { source: state.doc, version: overwriteVersion || state.version })
    .catch(() => null).finally(() => { state.saving--; });
  if (!r) {
    showBanner('Not saved: the studio\'s tool does not answer. Your edits are kept in this browser.', [], true);
    return false;
  }
  if (r.status === 409) {
    offerDisk(r.data.text, r.data.version, 'The source changed on disk since this page read it. Nothing was saved.');
    return false;
  }
  if (!r.ok) {
    showBanner('Not saved: ' + r.data.error + '. Your edits are kept in this page and this browser.', [], true);
    return false;
  }
  state.version = r.data.version;
  state.conflictSeen = '';
  state.dirty = false;
  localStorage.removeItem(draftKey());
  showState();
  hideBanner();
  return true;
}

// The file on disk differs from what the page started from: the publisher picks, nothing is lost
// without being asked.
function offerDisk(text, version, why) {
  state.conflictSeen = version;
  showBanner(why, [
    ['Load the file from disk (drop my edits)', () => takeDisk(text, version)],
    ['Keep my edits (a save overwrites the file)', () => { state.version = version; saveDraft(); }],
  ]);
}

// A change is the disk's own only when no save of this page is under way: the page's own save
// changes the file before its answer arrives.
async function pollDisk() {
  if (state.saving || state.polling) return;
  state.polling = true;
  try {
    const r = await call('GET', '/api/disk').catch(() => null);
    if (!r || !r.ok || state.saving || r.data.version === state.version || r.data.version === state.conflictSeen) return;
    const full = await call('GET', '/api/source').catch(() => null);
    if (!full || !full.ok || state.saving || full.data.version === state.version) return;
    diskChanged(full);
  } finally {
    state.polling = false;
  }
}

function diskChanged(full) {
  if (!state.dirty) {
    if (takeDisk(full.data.text, full.data.version)) showBanner('The source changed on disk; the page now shows it.', []);
  } else {
    offerDisk(full.data.text, full.data.version, 'The source changed on disk while you have unsaved edits.');
  }
}

async function runTool(path, body) {
  $('output').textContent = 'working…';
  const r = await call('POST', path, body).catch(() => null);
  if (!r) { $('output').textContent = 'the tool does not answer'; return null; }
  $('output').textContent = r.ok ? r.data.output : 'failed: ' + r.data.error;
  return r;
}

async function build() {
  if (state.dirty && !(await save())) return null;
  const r = await runTool('/api/build');
  if (r && r.ok) $('output').textContent = (r.data.exit === 0 ? 'Built.\n' : 'The build failed or lint found errors.\n') + r.data.output;
  scheduleCheck();  // the findings of what was built
  return r;
}

async function picture() {
  const b = await build();
  if (!b || !b.ok || b.data.exit !== 0) return;
  const r = await runTool('/api/picture');
  if (r && r.ok && r.data.ready) {
    $('picture-img').src = '/api/picture.png?t=' + encodeURIComponent(token) + '&n=' + Date.now();
    $('picture-figure').hidden = false;
  }
}

async function release() {
  const key = $('key').value.trim();
  if (!key) { showBanner('Name your private key file first (`tbtool keygen keys/publisher` makes one).', []); $('key').focus(); return; }
  const b = await build();
  if (!b || !b.ok || b.data.exit !== 0) return;
  await runTool('/api/release', { key });
}

// ---- start ------------------------------------------------------------------------------------

async function start() {
  const r = await call('GET', '/api/source').catch(() => null);
  if (!r || !r.ok) {
    showBanner('The studio could not read the source: ' + (r ? r.data.error : 'the tool does not answer'), [], true);
    return;
  }
  state.schema = r.data.schema;
  state.file = r.data.file;
  state.icons = r.data.icons;
  $('file').textContent = state.file;
  $('picture').hidden = !r.data.picture;
  const draft = readDraft();  // before the disk's source replaces it
  if (!takeDisk(r.data.text, r.data.version)) return;
  if (draft && JSON.stringify(draft.doc) !== JSON.stringify(state.doc)) {
    if (draft.base === state.version) {
      state.doc = draft.doc;
      state.dirty = true;
      saveDraft();
      renderAll();
      showBanner('Your unsaved edits from before were restored.', []);
    } else {
      const diskText = r.data.text;
      const diskVersion = r.data.version;
      showBanner('You have unsaved edits from before, and the file changed on disk since.', [
        ['Keep my edits', () => { state.doc = draft.doc; state.version = diskVersion; state.dirty = true; saveDraft(); renderAll(); }],
        ['Use the file on disk', () => takeDisk(diskText, diskVersion)],
      ]);
    }
  }
  $('tree').addEventListener('keydown', treeKeys);
  $('add-item').addEventListener('click', () => addEntry('item'));
  $('add-menu').addEventListener('click', () => addEntry('menu'));
  $('add-separator').addEventListener('click', () => addEntry('separator'));
  $('add-search').addEventListener('click', () => addEntry('search'));
  $('remove').addEventListener('click', removeSelected);
  $('move-up').addEventListener('click', () => moveSelected(-1));
  $('move-down').addEventListener('click', () => moveSelected(1));
  $('nest').addEventListener('click', nestSelected);
  $('unnest').addEventListener('click', unnestSelected);
  for (const t of ['item', 'toolbar', 'options', 'strings']) $('tab-' + t).addEventListener('click', () => showTab(t));
  $('form').addEventListener('submit', (ev) => ev.preventDefault());
  $('save').addEventListener('click', () => save());
  $('build').addEventListener('click', build);
  $('picture').addEventListener('click', picture);
  $('release').addEventListener('click', release);
  $('scale').addEventListener('change', drawToolbar);
  document.addEventListener('click', closeMenus);
  document.addEventListener('keydown', (ev) => {
    if ((ev.ctrlKey || ev.metaKey) && ev.key === 's') { ev.preventDefault(); save(); }
    if (ev.key === 'Escape') {
      // Out of a field, Escape goes back to the item in the tree.
      if ($('form').contains(ev.target) && state.tab === 'item' && state.selected) focusSelected();
      closeMenus();
    }
  });
  window.addEventListener('beforeunload', saveDraft);
  setInterval(pollDisk, 2000);
}

document.addEventListener('DOMContentLoaded', start);
