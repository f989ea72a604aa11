// The console's words in English and Chinese, chosen by the browser's language.
const words = {
  en: {
    channel: 'Channel', preview: 'Preview', on_air: 'On air', take: 'TAKE', next: 'NEXT', stop: 'STOP',
    undo: 'UNDO', rundown: 'Rundown', autoplay: 'Autoplay', loop: 'Loop', add_cue: 'Add cue', cue: 'Cue',
    duration: 'Duration', at: 'At', edit_cue: 'Cue', id: 'Id', name: 'Name',
    lines: 'Lines (one scene call per line)', out: 'Out lines', fields: 'Fields (name=value per line)',
    duration_ms: 'Duration (ms, 0: until the next take)', at_time: 'Time of day (HH:MM:SS, optional)',
    fade_ms: 'Fade (ms)', save: 'Save', cancel: 'Cancel', components: 'Components', kind: 'Kind', text: 'Text',
    visible: 'Visible', bindings: 'Live data', component: 'Component', source: 'Source', value: 'Value',
    error: 'Error', edit_bindings: 'Edit bindings (JSON)', apply: 'Apply', asrun: 'As-run log', time: 'Time',
    what: 'What', token_needed: 'This server needs a token.', ok: 'OK', connected: 'connected',
    connecting: 'connecting…', lost: 'connection lost, reconnecting…', edit: 'Edit', delete: 'Delete',
    up: 'Up', down: 'Down', elapsed: 'elapsed', remaining: 'left', undo_levels: 'undo levels: {n}',
    until_next: 'until next', none: '—', confirm_delete: 'Delete cue {id}?', saved: 'saved', refused: 'refused: {m}',
  },
  zh: {
    channel: '通道', preview: '预览', on_air: '播出中', take: '播出', next: '下一条', stop: '停止',
    undo: '撤销', rundown: '串联单', autoplay: '自动播放', loop: '循环', add_cue: '添加条目', cue: '条目',
    duration: '时长', at: '定时', edit_cue: '条目', id: '编号', name: '名称',
    lines: '命令行（每行一个场景调用）', out: '下场命令行', fields: '字段（每行 名称=值）',
    duration_ms: '时长（毫秒，0：直到下一条）', at_time: '定时（时:分:秒，可选）',
    fade_ms: '淡入淡出（毫秒）', save: '保存', cancel: '取消', components: '组件', kind: '类型', text: '文字',
    visible: '显示', bindings: '实时数据', component: '组件', source: '来源', value: '值',
    error: '错误', edit_bindings: '编辑绑定（JSON）', apply: '应用', asrun: '播出记录', time: '时间',
    what: '内容', token_needed: '此服务器需要令牌。', ok: '确定', connected: '已连接',
    connecting: '正在连接…', lost: '连接已断开，正在重连…', edit: '编辑', delete: '删除',
    up: '上移', down: '下移', elapsed: '已播', remaining: '剩余', undo_levels: '可撤销：{n}',
    until_next: '直到下一条', none: '—', confirm_delete: '删除条目 {id}？', saved: '已保存', refused: '被拒绝：{m}',
  },
};

export const lang = (navigator.languages || [navigator.language || 'en'])
  .some((l) => String(l).toLowerCase().startsWith('zh')) ? 'zh' : 'en';

export function t(key, args = {}) {
  let s = words[lang][key] ?? words.en[key] ?? key;
  for (const [k, v] of Object.entries(args)) s = s.replace(`{${k}}`, v);
  return s;
}

// Every element with data-t gets its word.
export function translate(root = document) {
  document.documentElement.lang = lang === 'zh' ? 'zh-CN' : 'en';
  for (const el of root.querySelectorAll('[data-t]')) el.textContent = t(el.dataset.t);
}
